#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "base/run_failure.h"
#include "setup/setup_handler_win.h"
#include "setup/setup_interface.h"
#include "fixtures/log_capture.h"
#include "fixtures/recording_interface.h"

namespace {

// Steps that only note that they ran and answer as told.
class StandInSetup : public SetupHandler {
 public:
  bool initialises = true;
  bool installed_is_current = false;
  bool launch_succeeds = true;
  bool download_succeeds = true;
  bool thread_starts = true;
  std::vector<std::string> calls;
  int run_priority = THREAD_PRIORITY_ERROR_RETURN;

  HANDLE Start() override {
    if (thread_starts) return SetupHandler::Start();
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  bool Run() override {
    run_priority = GetThreadPriority(GetCurrentThread());
    return SetupHandler::Run();
  }
  bool InitializeSetup() override {
    calls.push_back("InitializeSetup");
    return initialises;
  }
  void CheckIsVersionIsSynced() override {
    calls.push_back("CheckIsVersionIsSynced");
    m_bIsVersionSynced = installed_is_current;
  }
  bool LaunchClient() override {
    calls.push_back("LaunchClient");
    return launch_succeeds;
  }
  bool Download() override {
    calls.push_back("Download");
    return download_succeeds;
  }
  void CallToInstall() override { calls.push_back("CallToInstall"); }
};

typedef std::vector<std::string> Calls;

class SetupFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    live_texts_ = LiveNotificationTexts();
    ks::ResetRunFailure();
    setup_.SetSetupInterface(&window_);
  }
  void TearDown() override { EXPECT_EQ(live_texts_, LiveNotificationTexts()); }

  StandInSetup setup_;
  RecordingInterface window_;
  int live_texts_ = 0;
};

TEST_F(SetupFlowTest, LaunchOnlyWhenTheInstalledClientIsCurrent) {
  setup_.installed_is_current = true;
  EXPECT_TRUE(setup_.Run());
  EXPECT_EQ((Calls{"InitializeSetup", "CheckIsVersionIsSynced", "LaunchClient"}), setup_.calls);
}

TEST_F(SetupFlowTest, DownloadAndInstallWhenNotCurrent) {
  EXPECT_TRUE(setup_.Run());
  EXPECT_EQ((Calls{"InitializeSetup", "CheckIsVersionIsSynced", "Download", "CallToInstall"}), setup_.calls);
}

TEST_F(SetupFlowTest, StopsAtInitialisationWithOnlyTheFailureCode) {
  setup_.initialises = false;
  LogCapture log;
  EXPECT_FALSE(setup_.Run());
  EXPECT_EQ(Calls{"InitializeSetup"}, setup_.calls);
  EXPECT_EQ(std::vector<Received>{NoText(NOTIFY_INIT_FAILED)}, window_.received());
  ASSERT_EQ(1u, log.Records().size()) << log.Dump();
  EXPECT_EQ("SetupHandler::Run", log.Records()[0].operation);
  EXPECT_EQ("InitializeSetup() failed", log.Records()[0].message);
  EXPECT_EQ(ks::RecordedRunFailure(), ks::FailureCause::kLinkUnreadable);
}

TEST_F(SetupFlowTest, StopsAtAFailedDownloadWithoutInstalling) {
  setup_.download_succeeds = false;
  EXPECT_FALSE(setup_.Run());
  EXPECT_EQ((Calls{"InitializeSetup", "CheckIsVersionIsSynced", "Download"}), setup_.calls);
}

TEST_F(SetupFlowTest, ARefusedLaunchInstallsAfresh) {
  setup_.installed_is_current = true;
  setup_.launch_succeeds = false;
  EXPECT_TRUE(setup_.Run());
  EXPECT_EQ((Calls{"InitializeSetup", "CheckIsVersionIsSynced", "LaunchClient", "Download", "CallToInstall"}),
            setup_.calls);
}

TEST_F(SetupFlowTest, ACallerAskingForASyncSkipsTheVersionCheck) {
  setup_.m_bCalledByClientToSyncVersion = true;
  setup_.installed_is_current = true;
  EXPECT_TRUE(setup_.Run());
  EXPECT_EQ((Calls{"InitializeSetup", "Download", "CallToInstall"}), setup_.calls);
}

TEST_F(SetupFlowTest, RunsOnItsOwnThreadAtNormalPriority) {
  ASSERT_TRUE(setup_.StartFlow());
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(setup_.GetFinishedEvent(), INFINITE));
  EXPECT_EQ(THREAD_PRIORITY_NORMAL, setup_.run_priority);
  EXPECT_EQ((Calls{"InitializeSetup", "CheckIsVersionIsSynced", "Download", "CallToInstall"}), setup_.calls);
  WaitForSingleObject(setup_.GetThreadHandle(), INFINITE);
}

// Without its thread the flow never runs: the window is told as it is of a
// failed initialisation, instead of staying empty.
TEST_F(SetupFlowTest, AThreadThatCannotStartIsShownAsAFailedInitialisation) {
  setup_.thread_starts = false;
  static int told;
  told = 0;
  ks::SetRunFailureListener([](ks::FailureCause) { ++told; });
  LogCapture log;
  EXPECT_FALSE(setup_.StartFlow());
  // The run's cause is its first: told once, whatever follows.
  ks::RecordRunFailure(ks::FailureCause::kDisk);
  EXPECT_EQ(ks::RecordedRunFailure(), ks::FailureCause::kInterrupted);
  EXPECT_EQ(told, 1);
  ks::ResetRunFailure();
  EXPECT_TRUE(setup_.calls.empty());
  EXPECT_EQ(std::vector<Received>{NoText(NOTIFY_INIT_FAILED)}, window_.received());
  EXPECT_TRUE(log.HasFragment("Failed to start the setup thread, error code: 8, error: ")) << log.Dump();
}

TEST_F(SetupFlowTest, WithoutATargetNothingIsSentOrLost) {
  setup_.SetSetupInterface(nullptr);
  EXPECT_TRUE(setup_.Run());
  setup_.initialises = false;
  EXPECT_FALSE(setup_.Run());
}

}  // namespace
