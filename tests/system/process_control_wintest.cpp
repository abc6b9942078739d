// Starting programs (directly and through the shell), ending them by name and
// asking whether one runs, with the stand-in client-side programs.
#include "system/process_control_win.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "base/transient_retry_win.h"
#include "base/wide_text.h"

#include "standins/standin_client_win.h"
#include "fixtures/log_capture.h"
#include "fixtures/win_test_util_win.h"

using kstest::WaitUntil;
using standin_client::RecordValue;
using standin_client::StandinPath;

namespace {

// The stand-ins copied into a scratch folder, which also receives their start
// records.
class ProcessControl : public ::testing::Test {
 protected:
  ProcessControl() : record_dir_(L"KS_STANDIN_DIR", dir_.path()) {}
  void SetUp() override {
    ASSERT_TRUE(kstest::CopyFileTo(StandinPath("Kestrelon.exe"), dir_.File("Kestrelon.exe")));
    ASSERT_TRUE(kstest::CopyFileTo(StandinPath("KSInstaller.exe"), dir_.File("KSInstaller.exe")));
  }
  std::string Record(const char* program) const { return standin_client::RecordPath(dir_.path(), program); }
  bool Recorded(const char* program) const { return standin_client::WaitForRecord(dir_.path(), program); }
  ks::UniqueHandle OpenProcessId(DWORD id) const {
    return ks::UniqueHandle(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, id));
  }

  kstest::TempDir dir_;
  kstest::ScopedEnvironment record_dir_;
};

TEST_F(ProcessControl, StartsTheClientShownInItsWorkingDirectory) {
  LogCapture log;
  DWORD id = 0;
  std::string command = "\"" + dir_.File("Kestrelon.exe") + "\" --program " + dir_.File("rsp1024hcmd.txt");
  ASSERT_TRUE(Utility::StartProcess(command.c_str(), dir_.path().c_str(), &id));
  ks::UniqueHandle process = OpenProcessId(id);
  ASSERT_TRUE(Recorded("Kestrelon"));
  EXPECT_EQ(RecordValue(Record("Kestrelon"), "ShowWindow"), "5");
  EXPECT_EQ(RecordValue(Record("Kestrelon"), "CommandLine"), command);
  EXPECT_EQ(RecordValue(Record("Kestrelon"), "WorkingDirectory"), dir_.path());
  EXPECT_EQ(RecordValue(Record("Kestrelon"), "ProcessId"), std::to_string(id));
  EXPECT_TRUE(log.Has("sCommandLine = " + command + ", sWorkingDirectory = " + dir_.path()));
  EXPECT_TRUE(log.Has("UTF8ToUTF16 is OK"));
  EXPECT_TRUE(log.Has("succeeded."));
  standin_client::EnsureEnded(process.get());
}

TEST_F(ProcessControl, StartsOtherProgramsHiddenAndWithoutDirectory) {
  LogCapture log;
  DWORD id = 0;
  std::string command = "\"" + dir_.File("KSInstaller.exe") + "\" --called_by_downloader";
  ASSERT_TRUE(Utility::StartProcess(command.c_str(), nullptr, &id));
  ASSERT_TRUE(Recorded("KSInstaller"));
  EXPECT_EQ(RecordValue(Record("KSInstaller"), "ShowWindow"), "0");
  char current[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, current);
  std::string here = current;
  if (!here.empty() && here.back() == '\\') here.pop_back();
  std::string recorded = RecordValue(Record("KSInstaller"), "WorkingDirectory");
  if (!recorded.empty() && recorded.back() == '\\') recorded.pop_back();
  EXPECT_EQ(recorded, here);
  EXPECT_TRUE(log.Has("sCommandLine = " + command));
  EXPECT_TRUE(log.HasFragment("iErrorCode = 0, Error = ")) << "logged whatever the outcome";
}

// A scanner holds the freshly written launcher alone for a moment: the start
// waits for it (one log line says how long) instead of giving up on error 32.
TEST_F(ProcessControl, ProgramHeldByAScannerIsStartedOnceLetGo) {
  ks::ResetTransientRetryBudget();
  std::string program = dir_.File("KSInstaller.exe");
  ks::UniqueHandle held(
      CreateFileW(Widen(program.c_str()).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  std::thread release([&] {
    Sleep(400);
    held.reset();
  });
  LogCapture log;
  DWORD id = 0;
  bool started = Utility::StartProcess(("\"" + program + "\" --x").c_str(), dir_.path().c_str(), &id);
  release.join();
  ASSERT_TRUE(started) << log.Dump();
  EXPECT_NE(id, 0u) << "started directly, not through the shell";
  EXPECT_TRUE(Recorded("KSInstaller"));
  EXPECT_TRUE(log.HasFragment("start " + program + ": held by another program (error code: 32, ")) << log.Dump();
  EXPECT_TRUE(log.HasFragment(" done after ")) << log.Dump();
}

TEST_F(ProcessControl, DocumentIsHandedToTheShell) {
  // A document type of the test's own whose "open" command runs the
  // installer stand-in with the document and the parameters.
  const wchar_t* kType = L".kstestdoc";
  const wchar_t* kProgram = L"KsTestDocument";
  std::wstring open_command = L"\"" + Widen(dir_.File("KSInstaller.exe").c_str()) + L"\" \"%1\" %*";
  RegSetKeyValueW(HKEY_CLASSES_ROOT, kType, nullptr, REG_SZ, L"KsTestDocument", sizeof(L"KsTestDocument"));
  RegSetKeyValueW(HKEY_CLASSES_ROOT, (std::wstring(kProgram) + L"\\shell\\open\\command").c_str(), nullptr, REG_SZ,
                  open_command.c_str(), static_cast<DWORD>((open_command.size() + 1) * sizeof(wchar_t)));
  std::string document = dir_.File("meeting notes.kstestdoc");
  ASSERT_TRUE(kstest::WriteFile(document, "not a program"));

  LogCapture log;
  DWORD id = 12345;
  std::string command = "  \"" + document + "\" -p 1";
  bool started = Utility::StartProcess(command.c_str(), dir_.path().c_str(), &id);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kType);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgram);
  ASSERT_TRUE(started) << log.Dump();
  EXPECT_EQ(id, 12345u) << "no process id from the shell";
  ASSERT_TRUE(Recorded("KSInstaller"));
  std::string recorded = RecordValue(Record("KSInstaller"), "CommandLine");
  EXPECT_NE(recorded.find("meeting notes.kstestdoc"), std::string::npos) << recorded;
  EXPECT_NE(recorded.find("-p 1"), std::string::npos) << recorded;
  int error_lines = 0;
  for (const CapturedRecord& r : log.Records()) error_lines += r.message.compare(0, 13, "iErrorCode = ") == 0;
  EXPECT_EQ(error_lines, 2) << log.Dump();
}

TEST_F(ProcessControl, ProgramThatNeitherWayStartsFails) {
  LogCapture log;
  DWORD id = 0;
  std::string missing = dir_.File("missing.exe");
  EXPECT_FALSE(Utility::StartProcess(("\"" + missing + "\" -x").c_str(), nullptr, &id));
  EXPECT_TRUE(log.HasFragment("ShellExecute(): iHinstance = ")) << log.Dump();
  EXPECT_TRUE(log.HasFragment(", sExecutable = " + missing + ", sParameter = -x")) << log.Dump();
}

TEST_F(ProcessControl, TerminatesByTheQuotedNameMatchingRule) {
  ks::UniqueHandle client = kstest::StartProcess("\"" + dir_.File("Kestrelon.exe") + "\"");
  ks::UniqueHandle installer = kstest::StartProcess("\"" + dir_.File("KSInstaller.exe") + "\" --wait=60000");
  ASSERT_TRUE(client && installer);
  ASSERT_TRUE(Recorded("Kestrelon") && Recorded("KSInstaller"));

  LogCapture log;
  // kestrelon.exe does not occur in "kestrelon.ex", nor ksinstaller.exe in
  // "kestrelon.exe".
  EXPECT_TRUE(Utility::TerminateProcessByName("\"Kestrelon.ex\""));
  EXPECT_TRUE(log.Has("sProcessName = \"kestrelon.ex\""));
  EXPECT_FALSE(standin_client::HasEnded(client.get(), 300));
  EXPECT_TRUE(Utility::TerminateProcessByName("\"KESTRELON.EXE\""));
  EXPECT_TRUE(standin_client::HasEnded(client.get()));
  EXPECT_FALSE(standin_client::HasEnded(installer.get(), 300));
  DWORD exit_code = 1;
  GetExitCodeProcess(client.get(), &exit_code);
  EXPECT_EQ(exit_code, 0u);
  EXPECT_TRUE(Utility::TerminateProcessByName("\"KSInstaller.exe\""));
  EXPECT_TRUE(standin_client::HasEnded(installer.get()));
}

TEST_F(ProcessControl, TerminationRefusesEmptyNamesAndSparesItsOwnProcess) {
  LogCapture log;
  EXPECT_FALSE(Utility::TerminateProcessByName(""));
  EXPECT_FALSE(Utility::TerminateProcessByName(nullptr));
  EXPECT_TRUE(log.Records().empty());
  // Would match the test program itself.
  EXPECT_TRUE(Utility::TerminateProcessByName("\"tests_system.exe\""));
}

TEST_F(ProcessControl, ProcessRunningComparesWholeNamesIgnoringCase) {
  ks::UniqueHandle service = kstest::StartProcess("\"" + StandinPath("KSService.exe") + "\" --run-for=60000");
  ASSERT_TRUE(service);
  ASSERT_TRUE(WaitUntil([] { return IsProcessRunning("ksservice.EXE"); }));
  EXPECT_FALSE(IsProcessRunning("KSService"));
  EXPECT_FALSE(IsProcessRunning("Service.exe"));
  EXPECT_FALSE(IsProcessRunning(""));
  TerminateProcess(service.get(), 0);
  ASSERT_TRUE(standin_client::HasEnded(service.get()));
  EXPECT_TRUE(WaitUntil([] { return !IsProcessRunning("KSService.exe"); }));
}

}  // namespace
