// The install road end to end: the starter finds no usable client, gets the
// package (from the account server or from local archives), unpacks it and
// hands over to the launcher or installer, leaving its window open.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "e2e/e2e_fixture_win.h"

namespace e2e {
namespace {

using kstest::EndsWith;

TEST_F(StarterEndToEnd, StampedCopyDownloadsUnpacksAndStartsTheLauncher) {
  Serve();
  std::string settings = StampedSettings(Port());
  StampStarter(settings);

  std::string status = RunUntilStarted("", "KSLauncher", kSummaryStart);
  EXPECT_TRUE(EndsWith(status, " seconds")) << status;

  EXPECT_EQ(Requests(), (std::vector<std::string>{kSizeRequest, kPackageRequest, ReportRequest()}));
  EXPECT_TRUE(scene_.Logged("Valid sSetting"));
  EXPECT_TRUE(scene_.Logged("Failed to find any KS installation"));
  std::string size = std::to_string(packages_->ClientSize());
  EXPECT_TRUE(scene_.Logged("Download is completed: iExpectedDownloadSize = " + size + ", actual received = " + size));
  EXPECT_TRUE(scene_.Logged("sURL = " + ReportRequest() + ", sReturn = <__UserInput__>" + kUserInput +
                            "</__UserInput__>"));

  // The package is unpacked into the temporary folder, the saved archive is
  // gone and the installer was copied to the launcher.
  std::string setup = scene_.SetupDirectory();
  EXPECT_FALSE(kstest::FileExists(scene_.tmp() + "\\PCClient.zip"));
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\readme.txt"), Packages::kReadme);
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\Kestrelon\\version.txt"), std::string(kVersion) + "\r\n");
  std::string installer = kstest::ReadFileOrEmpty(standin_client::StandinPath("KSInstaller.exe"));
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\KSInstaller.exe"), installer);
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\KSLauncher.exe"), installer);

  // The installer's parameter file: the four setup lines, then the stamped
  // settings, as a text file.
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\rsp1024hcmd.txt"), Crlf(SetupLines(setup, scene_.app()) + settings));

  // Only the launcher was started: with the starter's (empty) command line,
  // in the setup directory. An unsigned starter checks no publisher.
  EXPECT_EQ(scene_.Records(), std::vector<std::string>{"standin_KSLauncher.txt"});
  EXPECT_TRUE(scene_.Logged("Publisher of " + scene_.tmp() +
                            "\\PCClient.zip not checked: the starter is not signed (no certificate table)"));
  EXPECT_EQ(scene_.Recorded("KSLauncher", "CommandLine"), Quote(setup + "\\KSLauncher.exe") + " ");
  EXPECT_EQ(scene_.Recorded("KSLauncher", "WorkingDirectory"), setup);
  KeepLogFor("started-installer");
}

TEST_F(StarterEndToEnd, SlowDownloadShowsItsProgressInTheWindow) {
  // 8 KiB pieces 40 ms apart: the package takes over a second to arrive.
  Serve({"--piece-bytes", "8192", "--piece-delay-ms", "40"});
  StampStarter(StampedSettings(Port()));
  ASSERT_TRUE(starter_.Start(scene_, ""));

  // Part-way through, the window shows the progress layout with a
  // percentage between the ends, and its bar has moved.
  std::string percent;
  int position = -1;
  bool part_way = StarterProcess::WaitUntil([&] {
    if (starter_.StatusLine() != "Downloading Kestrelon ...") return false;
    percent = starter_.ControlText(IDC_PERCENT);
    position = starter_.ProgressPosition();
    int shown = atoi(percent.c_str());
    return shown > 0 && shown < 100 && percent == std::to_string(shown) + "%" && position > 0 && position < 100;
  });
  EXPECT_TRUE(part_way) << "percent " << percent << ", bar " << position;

  EXPECT_TRUE(StarterProcess::WaitUntil([&] { return scene_.Started("KSLauncher"); })) << LogDump();
  CloseAfterOutcome(kSummaryStart);
}

// An installed client of the wanted version is not trusted while its status
// says the starter called it and it never confirmed ("Y"), nor when the
// status is unknown (no file, which then reads as "Y"): it is installed again.
class RefusedLaunch : public StarterEndToEnd, public ::testing::WithParamInterface<const char*> {};

TEST_P(RefusedLaunch, InstallsAgain) {
  Serve();
  std::string settings = StampedSettings(Port());
  StampStarter(settings);
  InstallClient(GetParam());

  RunUntilStarted("", "KSLauncher", kSummaryStart);

  EXPECT_TRUE(scene_.Logged("sExistingVersion is " + std::string(kVersion) + ", m_sClientDirectory = " +
                            ClientFolder()));
  EXPECT_TRUE(scene_.Logged("Existing version is current, m_bCalledByClientToSyncVersion = N, m_sClientDirectory = " +
                            ClientFolder()));
  // Reported once for the refused launch, beside the download (so in any
  // order with its requests), and once for the installation.
  std::vector<std::string> requests = Requests();
  auto refused_launch_report = std::find(requests.begin(), requests.end(), ReportRequest());
  ASSERT_NE(refused_launch_report, requests.end());
  requests.erase(refused_launch_report);
  EXPECT_EQ(requests, (std::vector<std::string>{kSizeRequest, kPackageRequest, ReportRequest()}));
  EXPECT_EQ(scene_.Records(), std::vector<std::string>{"standin_KSLauncher.txt"});
  EXPECT_FALSE(kstest::FileExists(ClientFolder() + "\\rsp1024hcmd.txt"));
  EXPECT_EQ(LaunchStatus(), "Y");
  EXPECT_EQ(kstest::ReadFileOrEmpty(scene_.SetupDirectory() + "\\rsp1024hcmd.txt"),
            Crlf(SetupLines(scene_.SetupDirectory(), scene_.app()) + settings));
}

INSTANTIATE_TEST_SUITE_P(StarterEndToEnd, RefusedLaunch, ::testing::Values("Y", ""),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param).empty() ? std::string("NoStatusFile")
                                                                  : std::string("StatusY");
                         });

TEST_F(StarterEndToEnd, MeetingLinkInstallsAndPassesTheLinkToTheLauncher) {
  Serve();
  CopyStarter();
  std::string link = MeetingLink();

  RunUntilStarted(link, "KSLauncher", kSummaryStart);

  EXPECT_TRUE(scene_.Logged("m_lpCmdLine = " + link));
  // A link carries no starter identifier: nothing is reported.
  EXPECT_TRUE(scene_.Logged("Failed: m_sStarterSid = , m_sAccountServerName = 127.0.0.1"));
  EXPECT_EQ(Requests(), (std::vector<std::string>{kSizeRequest, kPackageRequest}));

  std::string setup = scene_.SetupDirectory();
  std::string parameters = kstest::ReadFileOrEmpty(setup + "\\rsp1024hcmd.txt");
  std::string lines = Crlf(SetupLines(setup, scene_.app()));
  EXPECT_EQ(parameters.compare(0, lines.size(), lines), 0) << parameters;
  EXPECT_NE(parameters.find("<__MeetingId__>m-4711</__MeetingId__>"), std::string::npos) << parameters;
  EXPECT_NE(parameters.find("<__AttendeeName__>Ann Example</__AttendeeName__>"), std::string::npos) << parameters;
  EXPECT_EQ(parameters.find("<__NeedToRemoveSetup__>"), std::string::npos) << parameters;

  // The starter's own command line goes on to the launcher unchanged.
  EXPECT_EQ(scene_.Recorded("KSLauncher", "CommandLine"), Quote(setup + "\\KSLauncher.exe") + " " + link);
  EXPECT_EQ(scene_.Recorded("KSLauncher", "WorkingDirectory"), setup);
}

TEST_F(StarterEndToEnd, LocalArchivesAreInstalledWithoutAskingForThePackage) {
  Serve();
  CopyStarter();
  std::string settings = StampedSettings(Port());
  std::string settings_file = scene_.root() + "\\cfg_settings.txt";
  ASSERT_TRUE(kstest::WriteFile(settings_file, settings));
  Kstool("cfg " + Quote(settings_file) + " " + Quote(scene_.app() + "\\starter.cfg"));
  ASSERT_TRUE(kstest::CopyFileTo(packages_->Client(), scene_.app() + "\\PCClient"));
  ASSERT_TRUE(kstest::CopyFileTo(packages_->Accessory(), scene_.app() + "\\PCClientAccessory"));

  // The local road posts nothing to the window: its status line stays empty.
  std::string status = RunUntilStarted("", "KSInstaller", "");
  EXPECT_EQ(status, "");

  EXPECT_TRUE(scene_.Logged("both client files are available"));
  EXPECT_TRUE(scene_.Logged("Loaded starter.cfg successfully"));
  EXPECT_TRUE(scene_.Logged("Download is not needed"));
  EXPECT_EQ(Requests(), std::vector<std::string>{ReportRequest()});

  std::string setup = scene_.app() + "\\ks_starter_dir";
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\readme.txt"), Packages::kReadme);
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\Accessory\\accessory.txt"), Packages::kAccessory);
  EXPECT_FALSE(kstest::FileExists(scene_.app() + "\\PCClient"));
  EXPECT_FALSE(kstest::FileExists(scene_.app() + "\\PCClientAccessory"));
  EXPECT_FALSE(kstest::FileExists(scene_.SetupDirectory()));
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\WorkingDirectory.txt"),
            Crlf("<__WorkingDirectory__>" + scene_.app() + "\\Kestrelon</__WorkingDirectory__>\n"));
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\rsp1024hcmd.txt"),
            Crlf(SetupLines(setup, scene_.app()) + "<__NeedToRemoveSetup__>Y</__NeedToRemoveSetup__>\n" + settings));

  // No launcher was made from the archives: the installer itself is started.
  EXPECT_TRUE(scene_.Logged("Failed to find sInstaller = " + setup + "\\KSLauncher.exe"));
  EXPECT_EQ(scene_.Records(), std::vector<std::string>{"standin_KSInstaller.txt"});
  EXPECT_EQ(scene_.Recorded("KSInstaller", "CommandLine"), Quote(setup + "\\KSInstaller.exe") + " ");
  EXPECT_EQ(scene_.Recorded("KSInstaller", "WorkingDirectory"), setup);
}

}  // namespace
}  // namespace e2e
