// Handing over to the client side: the direct launch of a current client, the
// installer or launcher of a fresh package, and the installation report.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "base/wide_text.h"
#include "net/hlib_win.h"
#include "setup/setup_handler_win.h"
#include "system/process_control_win.h"
#include "standins/standin_client_win.h"
#include "fixtures/log_capture.h"
#include "fixtures/recording_interface.h"
#include "fixtures/serve_process_win.h"
#include "fixtures/win_test_util_win.h"

namespace {

using kstest::ScopedEnvironment;
using standin_client::RecordValue;
using standin_client::StandinPath;

const char kSettings[] = "<__AccountServerIP__>as.example</__AccountServerIP__>\n<__Role__>1</__Role__>\n";

class HandOver : public ::testing::Test {
 protected:
  HandOver() : record_dir_(L"KS_STANDIN_DIR", dir_.path()) {}

  void SetUp() override {
    HR::ResetSharedState();
    handler_.SetSetupInterface(&window_);
    client_dir_ = dir_.File("client");
    setup_dir_ = dir_.File("setup");
    current_dir_ = dir_.File("starter");
    for (const std::string& d : {client_dir_, setup_dir_, current_dir_}) kstest::MakeDirectory(d);
    ks::CopyText(handler_.m_sClientDirectory, 512, client_dir_.c_str());
    ks::CopyText(handler_.m_sSetupDirectory, 512, setup_dir_.c_str());
    ks::CopyText(handler_.m_sCurrentDirectory, 512, current_dir_.c_str());
    ks::CopyText(handler_.m_sCurrentFile, 512, "KestrelonStarter.exe");
    ks::CopyText(handler_.m_sSetting, 2048, kSettings);
  }

  // No launched stand-in outlives its test (some never got to their window),
  // and no report outlives the handler it reads.
  void TearDown() override {
    SetupHandler::WaitForInstallationReports();
    Utility::TerminateProcessByName("\"Kestrelon.exe\"");
  }

  std::string Record(const char* program) const { return standin_client::RecordPath(dir_.path(), program); }
  bool WaitForRecord(const char* program) const { return standin_client::WaitForRecord(dir_.path(), program); }
  void InstallClient(const std::string& status) {
    ASSERT_TRUE(kstest::CopyFileTo(StandinPath("Kestrelon.exe"), client_dir_ + "\\Kestrelon.exe"));
    if (!status.empty())
      kstest::WriteFile(client_dir_ + "\\setup_status.txt",
                        "<__ClientCalledToLaunch__>" + status + "</__ClientCalledToLaunch__>");
  }
  std::string Status() const { return kstest::ReadFileOrEmpty(client_dir_ + "\\setup_status.txt"); }

  kstest::TempDir dir_{"handover"};
  ScopedEnvironment record_dir_;
  std::string client_dir_, setup_dir_, current_dir_;
  RecordingInterface window_;
  SetupHandler handler_;
  LogCapture log_;
};

TEST_F(HandOver, CurrentClientWithStatusNIsLaunchedWithItsParameterFile) {
  InstallClient("N");
  ASSERT_TRUE(handler_.LaunchClient());
  ASSERT_TRUE(WaitForRecord("Kestrelon"));

  std::string parameter_file = client_dir_ + "\\rsp1024hcmd.txt";
  EXPECT_EQ(RecordValue(Record("Kestrelon"), "CommandLine"),
            "\"" + client_dir_ + "\\Kestrelon.exe\" --program " + parameter_file);
  EXPECT_EQ(RecordValue(Record("Kestrelon"), "WorkingDirectory"), client_dir_);
  EXPECT_EQ(RecordValue(Record("Kestrelon"), "ShowWindow"), "5");  // SW_SHOW for the client only

  // Started without a command line: the starter may be removed afterwards.
  std::string expected = "<__SetupDirectory__>" + setup_dir_ + "</__SetupDirectory__>\r\n" +
                         "<__SetupFile__>" + current_dir_ + "\\KestrelonStarter.exe</__SetupFile__>\r\n" +
                         "<__SetupFileName__>KestrelonStarter.exe</__SetupFileName__>\r\n" +
                         "<__SetupConfigureFile__>" + current_dir_ + "\\starter.cfg</__SetupConfigureFile__>\r\n" +
                         "<__NeedToRemoveSetup__>Y</__NeedToRemoveSetup__>\r\n" +
                         "<__SkippedDownload__>Y</__SkippedDownload__>\r\n" +
                         "<__AccountServerIP__>as.example</__AccountServerIP__>\r\n<__Role__>1</__Role__>\r\n";
  EXPECT_EQ(kstest::ReadFileOrEmpty(parameter_file), expected);
  EXPECT_EQ(Status(), "<__ClientCalledToLaunch__>Y</__ClientCalledToLaunch__>");
  EXPECT_EQ(window_.received(), std::vector<Received>({Text(NOTIFY_CLOSE, "Launching Kestrelon ... ")}));
  EXPECT_TRUE(log_.Has("Skip installation --- Utility::StartProcess(\"" + client_dir_ + "\\Kestrelon.exe\" --program " +
                       parameter_file + ", " + client_dir_ + ")"))
      << log_.Dump();
}

TEST_F(HandOver, StartedWithAMeetingLinkTheStarterIsNotMarkedForRemoval) {
  InstallClient("N");
  handler_.m_bStartedWithParameter = true;
  ASSERT_TRUE(handler_.LaunchClient());
  std::string parameters = kstest::ReadFileOrEmpty(client_dir_ + "\\rsp1024hcmd.txt");
  EXPECT_EQ(parameters.find("NeedToRemoveSetup"), std::string::npos);
  EXPECT_NE(parameters.find("<__SkippedDownload__>Y</__SkippedDownload__>"), std::string::npos);
}

TEST_F(HandOver, CalledByTheClientTheParameterFileIsTheSettingsUnchanged) {
  InstallClient("N");
  handler_.m_bCalledByClientToSyncVersion = true;
  ASSERT_TRUE(handler_.LaunchClient());
  EXPECT_EQ(kstest::ReadFileOrEmpty(client_dir_ + "\\rsp1024hcmd.txt"),
            "<__AccountServerIP__>as.example</__AccountServerIP__>\r\n<__Role__>1</__Role__>\r\n");
}

TEST_F(HandOver, AClientCalledBeforeAndNotConfirmedIsNotLaunched) {
  for (const char* status : {"Y", ""}) {
    InstallClient(status);
    EXPECT_FALSE(handler_.LaunchClient()) << status;
    EXPECT_EQ(Status(), "<__ClientCalledToLaunch__>Y</__ClientCalledToLaunch__>");
    EXPECT_FALSE(kstest::FileExists(client_dir_ + "\\rsp1024hcmd.txt"));
    EXPECT_TRUE(window_.received().empty());
    DeleteFileW(Widen((client_dir_ + "\\setup_status.txt").c_str()).c_str());
  }
  EXPECT_FALSE(kstest::FileExists(Record("Kestrelon")));
}

TEST_F(HandOver, LaunchLinesThatDoNotFitAreRefusedNotCut) {
  InstallClient("N");
  std::string long_settings = "<__Role__>" + std::string(1900, 'r') + "</__Role__>";
  ks::CopyText(handler_.m_sSetting, 2048, long_settings.c_str());
  EXPECT_FALSE(handler_.LaunchClient());
  EXPECT_EQ(std::string(handler_.m_sSetting), long_settings);
  EXPECT_TRUE(log_.HasFragment("Launch lines and settings need ")) << log_.Dump();
  EXPECT_FALSE(kstest::FileExists(Record("Kestrelon")));
}

TEST_F(HandOver, InstallerStartsWithTheStartersCommandLineWhenThereIsNoLauncher) {
  ASSERT_TRUE(kstest::CopyFileTo(StandinPath("KSInstaller.exe"), setup_dir_ + "\\KSInstaller.exe"));
  ks::CopyText(handler_.m_sCommandLine, 4096, "Kestrelon:sp=abc&chk=def");
  handler_.CallToInstall();
  ASSERT_TRUE(WaitForRecord("KSInstaller"));
  EXPECT_EQ(RecordValue(Record("KSInstaller"), "CommandLine"),
            "\"" + setup_dir_ + "\\KSInstaller.exe\" Kestrelon:sp=abc&chk=def");
  EXPECT_EQ(RecordValue(Record("KSInstaller"), "WorkingDirectory"), setup_dir_);
  EXPECT_EQ(RecordValue(Record("KSInstaller"), "ShowWindow"), "0");
  EXPECT_TRUE(log_.Has("Failed to find sInstaller = " + setup_dir_ + "\\KSLauncher.exe")) << log_.Dump();
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup_dir_ + "\\rsp1024hcmd.txt"),
            "<__AccountServerIP__>as.example</__AccountServerIP__>\r\n<__Role__>1</__Role__>\r\n");
  EXPECT_TRUE(log_.Has("m_bCalledByClientToSyncVersion is false"));
  EXPECT_FALSE(kstest::FileExists(setup_dir_ + "\\WorkingDirectory.txt"));
}

TEST_F(HandOver, LauncherIsPreferredAndTheSyncVariantLeavesItsFiles) {
  ASSERT_TRUE(kstest::CopyFileTo(StandinPath("KSInstaller.exe"), setup_dir_ + "\\KSLauncher.exe"));
  CreateDirectoryW(Widen((current_dir_ + "\\Kestrelon").c_str()).c_str(), nullptr);
  kstest::WriteFile(current_dir_ + "\\Kestrelon\\KSServiceCache.txt", "<__DESKTOP_DIRECTORY__>D</__DESKTOP_DIRECTORY__>");
  handler_.m_bCalledByClientToSyncVersion = true;
  ks::CopyText(handler_.m_sCommandLine, 4096, "--called_by_client_to_sync");
  handler_.CallToInstall();
  ASSERT_TRUE(WaitForRecord("KSLauncher"));
  EXPECT_EQ(RecordValue(Record("KSLauncher"), "CommandLine"),
            "\"" + setup_dir_ + "\\KSLauncher.exe\" --called_by_client_to_sync");
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup_dir_ + "\\KSServiceCache.txt"),
            "<__DESKTOP_DIRECTORY__>D</__DESKTOP_DIRECTORY__>");
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup_dir_ + "\\WorkingDirectory.txt"),
            "<__WorkingDirectory__>" + current_dir_ + "</__WorkingDirectory__>\r\n");
  EXPECT_TRUE(log_.Has("m_bCalledByClientToSyncVersion is true"));
}

// Whether another starter of this user would get into the setup folder now.
bool SetupFolderFree() {
  ks::UniqueHandle other(CreateMutexW(nullptr, FALSE, SetupFolderLock::Name().c_str()));
  DWORD waited = WaitForSingleObject(other.get(), 0);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return false;
  ReleaseMutex(other.get());
  return true;
}

// A second starter would empty the folder the installer runs from: the
// folder stays taken until the installer has ended.
TEST_F(HandOver, TheSetupFolderIsHeldUntilTheInstallerHasEnded) {
  ASSERT_TRUE(kstest::CopyFileTo(StandinPath("KSInstaller.exe"), setup_dir_ + "\\KSInstaller.exe"));
  ScopedEnvironment slow(L"KS_STANDIN_WAIT_MS", "1500");
  std::thread worker([&] {
    handler_.m_oSetupFolderLock.Acquire();
    handler_.CallToInstall();
  });
  EXPECT_TRUE(WaitForRecord("KSInstaller"));
  EXPECT_FALSE(SetupFolderFree());
  worker.join();
  EXPECT_TRUE(SetupFolderFree());
  EXPECT_TRUE(handler_.m_bHandingOver);
  EXPECT_TRUE(log_.Has("Setup folder held until " + setup_dir_ + "\\KSInstaller.exe ended")) << log_.Dump();
}

// A program that runs on (a launcher that stays with the meeting), or one
// that cannot be watched, keeps no second starter waiting beyond the limit.
TEST_F(HandOver, TheSetupFolderIsLetGoAtTheLimitOrWhenTheProgramCannotBeWatched) {
  ScopedEnvironment slow(L"KS_STANDIN_WAIT_MS", "30000");
  ks::UniqueHandle running = kstest::StartProcess(kstest::Quote(StandinPath("KSInstaller.exe")));
  ASSERT_TRUE(running);
  for (HANDLE process : {running.get(), static_cast<HANDLE>(nullptr)}) {
    SetupFolderLock lock;
    ASSERT_TRUE(lock.Acquire());
    lock.ReleaseWhenEnded(process, "KSLauncher.exe", 300);
    EXPECT_TRUE(SetupFolderFree());
  }
  standin_client::EnsureEnded(running.get());
  EXPECT_TRUE(log_.Has("Setup folder let go after 300 ms: KSLauncher.exe still runs")) << log_.Dump();
  EXPECT_TRUE(log_.Has("Setup folder let go: KSLauncher.exe cannot be watched"));
}

TEST_F(HandOver, TheGardoloEditionStartsItsLauncherThroughTheShell) {
  ASSERT_TRUE(kstest::CopyFileTo(StandinPath("KSInstaller.exe"), setup_dir_ + "\\KSLauncher.exe"));
  ks::CopyText(handler_.m_sClientName, 512, "Gardolo");
  handler_.CallToInstall();
  ASSERT_TRUE(WaitForRecord("KSLauncher"));
  EXPECT_TRUE(log_.Has("It is Gardolo"));
  EXPECT_TRUE(log_.Has("ShellExecuteEx() sInstaller = " + setup_dir_ + "\\KSLauncher.exe")) << log_.Dump();
  EXPECT_EQ(RecordValue(Record("KSLauncher"), "ShowWindow"), "0");
}

TEST_F(HandOver, ACommandLineThatDoesNotFitIsRefusedNotCut) {
  ASSERT_TRUE(kstest::CopyFileTo(StandinPath("KSInstaller.exe"), setup_dir_ + "\\KSInstaller.exe"));
  std::string long_line = "Kestrelon:sp=" + std::string(3000, 'x');
  ks::CopyText(handler_.m_sCommandLine, 4096, long_line.c_str());
  handler_.CallToInstall();
  EXPECT_TRUE(log_.HasFragment("sStartProcess does not fit 2048 bytes")) << log_.Dump();
  Sleep(300);
  EXPECT_FALSE(kstest::FileExists(Record("KSInstaller")));
}

TEST_F(HandOver, TheReportNeedsAnIdentifierAndAServer) {
  ks::CopyText(handler_.m_sAccountServerName, 512, "as.example");
  EXPECT_EQ(handler_.InformServerOfInstallation(), "");
  EXPECT_TRUE(log_.Has("Failed: m_sStarterSid = , m_sAccountServerName = as.example"));
}

TEST_F(HandOver, TheReportSendsTheIdentifierAndReturnsTheUserInput) {
  kstest::ServeProcess server({"--user-input", "welcome back"});
  ASSERT_TRUE(server.ok());
  ks::CopyText(handler_.m_sAccountServerName, 512, "127.0.0.1");
  handler_.m_iAccountServerPort = server.port();
  ks::CopyText(handler_.m_sStarterSid, 128, "sid-42");
  EXPECT_EQ(handler_.InformServerOfInstallation(), "welcome back");
  EXPECT_NE(server.Requests().find("GET /as/wapi/ssi?sid=sid-42"), std::string::npos) << server.Requests();
  EXPECT_TRUE(log_.HasFragment("sURL = /as/wapi/ssi?sid=sid-42, sReturn = ")) << log_.Dump();
}

TEST_F(HandOver, AnUnreachableServerGivesAnEmptyReport) {
  ks::CopyText(handler_.m_sAccountServerName, 512, "127.0.0.1");
  handler_.m_iAccountServerPort = kstest::RefusedPort();
  ks::CopyText(handler_.m_sStarterSid, 128, "sid-42");
  EXPECT_EQ(handler_.InformServerOfInstallation(), "");
  EXPECT_TRUE(log_.Has("sURL = /as/wapi/ssi?sid=sid-42, sReturn = ")) << log_.Dump();
}

}  // namespace
