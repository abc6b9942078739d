// The starter as a whole program: started without parameters it only logs,
// derives the client name from its own file name and ends.
#include <gtest/gtest.h>

#include <string>

#include "app/app_test_util_win.h"

namespace {

struct StarterRun {
  kstest::ProcessResult process;
  std::string log;
};

// Runs a copy of the starter named `file_name` from a scratch folder, with the
// user's temporary folder (and so the log) private to the run.
StarterRun RunStarterCopy(const std::string& file_name) {
  apptest::StarterCopy starter(file_name);
  EXPECT_TRUE(starter.copied());
  StarterRun run;
  run.log = starter.Run();
  run.process = starter.last();
  return run;
}

TEST(StartupSpine, WithoutParametersLogsTheClientNameFromTheFileNameAndEnds) {
  StarterRun run = RunStarterCopy("KestrelonStarter.exe");
  ASSERT_TRUE(run.process.started);
  EXPECT_FALSE(run.process.timed_out);
  EXPECT_NE(run.log.find("Function: BootwickApp::InitInstance()\r\nLine: "), std::string::npos) << run.log;
  EXPECT_NE(run.log.find("Message: m_lpCmdLine = \r\n"), std::string::npos) << run.log;
  EXPECT_NE(run.log.find("sCurrentFileName = KestrelonStarter.exe\r\n"), std::string::npos) << run.log;
  EXPECT_NE(run.log.find("Message: No Meeting Parameter, sClientName = Kestrelon\r\n"), std::string::npos)
      << run.log;
  EXPECT_EQ(run.log.find("invalid sCurrentFileName"), std::string::npos);
  EXPECT_TRUE(kstest::KeepForExplain("registered-only", run.log));
}

TEST(StartupSpine, AFileNameWithoutStarterIsRefused) {
  StarterRun run = RunStarterCopy("setup.exe");
  EXPECT_FALSE(run.process.timed_out);
  EXPECT_NE(run.log.find("Message: invalid sCurrentFileName = setup.exe\r\n"), std::string::npos) << run.log;
  EXPECT_EQ(run.log.find("No Meeting Parameter"), std::string::npos);
}

TEST(StartupSpine, LowerCaseStarterCountsAndTheNameIsCutAtTheFirstCapitalStarter) {
  EXPECT_NE(RunStarterCopy("Quorrel_starter.exe").log.find("sClientName = Quorrel_\r\n"), std::string::npos);
  EXPECT_NE(RunStarterCopy("a_starter_bStarter.exe").log.find("sClientName = a_starter_b\r\n"),
            std::string::npos);
}

}  // namespace
