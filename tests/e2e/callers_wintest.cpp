// The starter started again by the installed client or by a downloader: the
// settings come from the command parameter file such a caller leaves, the
// version check is skipped and the client is always installed afresh.
#include <string>
#include <vector>

#include "e2e/e2e_fixture_win.h"

namespace e2e {
namespace {

const char kServiceCache[] =
    "<__USER_APPLICATION_DIRECTORY__>C:\\users\\e2e\\AppData</__USER_APPLICATION_DIRECTORY__>\r\n"
    "<__DESKTOP_DIRECTORY__>C:\\users\\e2e\\Desktop</__DESKTOP_DIRECTORY__>\r\n"
    "<__START_MENUE_DIRECTORY__>C:\\users\\e2e\\Start Menu\\Kestrelon</__START_MENUE_DIRECTORY__>\r\n";

TEST_F(StarterEndToEnd, CalledByClientToSyncReinstallsFromTheClientsParameterFile) {
  Serve();
  CopyStarter();
  // A current client that could be launched: the switch skips the check.
  InstallClient("N");
  std::string parameter_file = ClientFolder() + "\\rsp1024hcmd.txt";
  // What an earlier launch left for the client, handed back as it is.
  std::string earlier = Crlf(SetupLines("", scene_.app()) + "<__SkippedDownload__>Y</__SkippedDownload__>\n" +
                             StampedSettings(Port()));
  ASSERT_TRUE(kstest::WriteFile(parameter_file, earlier));
  ASSERT_TRUE(kstest::WriteFile(ClientFolder() + "\\KSServiceCache.txt", kServiceCache));

  RunUntilStarted("--called_by_client_to_sync", "KSLauncher", "Setup Kestrelon ...");

  EXPECT_TRUE(scene_.Logged("Delay to load setting"));
  EXPECT_TRUE(scene_.Logged("sCommandParameterFile = " + parameter_file));
  EXPECT_TRUE(scene_.Logged("Read from sCommandParameterFile = " + parameter_file));
  EXPECT_TRUE(scene_.Logged("Refined directories:  m_sUserApplicationDirectory = C:\\users\\e2e\\AppData; "
                            "m_sDesktopDirectory = C:\\users\\e2e\\Desktop, "
                            "m_sStartMenuDirectory = C:\\users\\e2e\\Start Menu\\Kestrelon"));
  EXPECT_FALSE(scene_.LoggedPrefix("sVersionFileName is "));
  EXPECT_EQ(Requests(), (std::vector<std::string>{kSizeRequest, kPackageRequest, ReportRequest()}));

  // The installer gets the service's directory choices and the client's
  // folder's parent as its working directory.
  std::string setup = scene_.SetupDirectory();
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\KSServiceCache.txt"), kServiceCache);
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\WorkingDirectory.txt"),
            Crlf("<__WorkingDirectory__>" + scene_.app() + "</__WorkingDirectory__>\n"));
  std::string parameters = kstest::ReadFileOrEmpty(setup + "\\rsp1024hcmd.txt");
  std::string lines = Crlf(SetupLines(setup, scene_.app()));
  EXPECT_EQ(parameters.compare(0, lines.size(), lines), 0) << parameters;
  EXPECT_NE(parameters.find("<__StarterSid__>" + std::string(kStarterSid) + "</__StarterSid__>"), std::string::npos);

  EXPECT_EQ(scene_.Records(), std::vector<std::string>{"standin_KSLauncher.txt"});
  EXPECT_EQ(scene_.Recorded("KSLauncher", "CommandLine"),
            Quote(setup + "\\KSLauncher.exe") + " --called_by_client_to_sync");
  EXPECT_EQ(scene_.Recorded("KSLauncher", "WorkingDirectory"), setup);
  // The installed client was neither started nor marked.
  EXPECT_EQ(LaunchStatus(), "N");
}

TEST_F(StarterEndToEnd, CalledByDownloaderReadsItsParameterFileFromTheTemporaryFolder) {
  Serve();
  CopyStarter();
  std::string parameter_file = scene_.tmp() + "\\rsp1024hcmd.txt";
  ASSERT_TRUE(kstest::WriteFile(parameter_file, StampedSettings(Port())));

  RunUntilStarted("--called_by_downloader", "KSLauncher", "Setup Kestrelon ...");

  EXPECT_TRUE(scene_.Logged("Read from sCommandParameterFile " + parameter_file));
  EXPECT_FALSE(scene_.LoggedPrefix("sVersionFileName is "));
  EXPECT_EQ(Requests(), (std::vector<std::string>{kSizeRequest, kPackageRequest, ReportRequest()}));
  std::string setup = scene_.SetupDirectory();
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\WorkingDirectory.txt"),
            Crlf("<__WorkingDirectory__>" + scene_.app() + "</__WorkingDirectory__>\n"));
  EXPECT_FALSE(kstest::FileExists(setup + "\\KSServiceCache.txt"));
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\rsp1024hcmd.txt"),
            Crlf(SetupLines(setup, scene_.app()) + StampedSettings(Port())));
  EXPECT_EQ(scene_.Recorded("KSLauncher", "CommandLine"), Quote(setup + "\\KSLauncher.exe") + " --called_by_downloader");
}

TEST_F(StarterEndToEnd, MissingCommandParameterFileStopsBeforeAnyDownload) {
  CopyStarter();

  std::string status = RunUntilLogged("--called_by_client_to_sync", "InitializeSetup() failed", "Setup could not");
  EXPECT_EQ(status, kInitFailed);

  EXPECT_TRUE(scene_.Logged("failed to load " + ClientFolder() + "\\rsp1024hcmd.txt"));
  EXPECT_FALSE(scene_.LoggedPrefix("In Download"));
  EXPECT_TRUE(scene_.Records().empty());
  EXPECT_FALSE(kstest::FileExists(scene_.SetupDirectory()));
}

}  // namespace
}  // namespace e2e
