// The launch road end to end: a client of the wanted version whose status
// allows it is started directly, and the starter's window closes by itself.
#include <string>
#include <vector>

#include "e2e/e2e_fixture_win.h"

namespace e2e {
namespace {

const char kSkippedDownload[] = "<__SkippedDownload__>Y</__SkippedDownload__>\n";

class LaunchRoad : public StarterEndToEnd {
 protected:
  // Runs the starter, which must end by itself (message 6044 closes its
  // window before it was made: it never shows, nor flashes over the
  // client), and waits for the client it started.
  void RunToLaunch(const std::string& arguments) {
    ASSERT_TRUE(starter_.Start(scene_, arguments));
    bool window_made = false;
    for (DWORD waited = 0; starter_.Running() && waited < kOutcomeTimeoutMs; waited += 2) {
      window_made = window_made || starter_.Window() != nullptr;
      Sleep(2);
    }
    EXPECT_FALSE(window_made);
    ASSERT_TRUE(starter_.WaitForExit(kOutcomeTimeoutMs)) << "log:\n" << LogDump();
    EXPECT_EQ(starter_.ExitCode(), 0u);
    // The client writes its record once its window runs.
    ASSERT_TRUE(StarterProcess::WaitUntil([&] { return scene_.Started("Kestrelon"); }, 20000)) << LogDump();
  }

  std::string ParameterFile() const { return ClientFolder() + "\\rsp1024hcmd.txt"; }
  std::string ClientCommandLine() const {
    return Quote(ClientFolder() + "\\Kestrelon.exe") + " --program " + ParameterFile();
  }

  void ExpectClientStarted() {
    EXPECT_EQ(scene_.Records(), std::vector<std::string>{"standin_Kestrelon.txt"});
    EXPECT_EQ(scene_.Recorded("Kestrelon", "CommandLine"), ClientCommandLine());
    EXPECT_EQ(scene_.Recorded("Kestrelon", "WorkingDirectory"), ClientFolder());
    EXPECT_TRUE(scene_.Logged("Skip installation --- Utility::StartProcess(" + ClientCommandLine() + ", " +
                              ClientFolder() + ")"));
    // Called, not yet confirmed by the client.
    EXPECT_EQ(LaunchStatus(), "Y");
    // Nothing was downloaded or unpacked.
    EXPECT_FALSE(kstest::FileExists(scene_.SetupDirectory()));
    EXPECT_FALSE(scene_.LoggedPrefix("In Download"));
  }
};

// Where the installed client is, of the places the starter looks; the
// user's application folder, the first of them, is shared by the whole Wine
// prefix and left alone here.
enum class ClientPlace { kTempProduct, kStarterProduct, kStarterFolder };

class StampedLaunch : public LaunchRoad, public ::testing::WithParamInterface<ClientPlace> {};

TEST_P(StampedLaunch, StartsTheCurrentClient) {
  switch (GetParam()) {
    case ClientPlace::kTempProduct: UseClientFolder(scene_.tmp() + "\\Kestrelon\\Kestrelon"); break;
    case ClientPlace::kStarterProduct: UseClientFolder(scene_.app() + "\\Kestrelon\\Kestrelon"); break;
    case ClientPlace::kStarterFolder: UseClientFolder(scene_.app() + "\\Kestrelon"); break;
  }
  Serve();
  std::string settings = StampedSettings(Port());
  StampStarter(settings);
  InstallClient("N");

  RunToLaunch("");

  ExpectClientStarted();
  EXPECT_EQ(Requests(), std::vector<std::string>{ReportRequest()});
  // The client's parameter file: setup lines without a setup directory, the
  // starter to remove (it was not started with a link), the skipped
  // download, then the stamped settings.
  EXPECT_EQ(kstest::ReadFileOrEmpty(ParameterFile()),
            Crlf(SetupLines("", scene_.app()) + "<__NeedToRemoveSetup__>Y</__NeedToRemoveSetup__>\n" +
                 kSkippedDownload + settings));
}

INSTANTIATE_TEST_SUITE_P(LaunchRoad, StampedLaunch,
                         ::testing::Values(ClientPlace::kTempProduct, ClientPlace::kStarterProduct,
                                           ClientPlace::kStarterFolder),
                         [](const ::testing::TestParamInfo<ClientPlace>& info) {
                           switch (info.param) {
                             case ClientPlace::kTempProduct: return std::string("InTempKestrelonKestrelon");
                             case ClientPlace::kStarterProduct: return std::string("InStarterKestrelonKestrelon");
                             default: return std::string("InStarterKestrelon");
                           }
                         });

// The installed client is not checked, so the launch road spends no time on
// the starter's own signature either.
TEST_F(LaunchRoad, SignedStarterDoesNoSignatureWork) {
  ASSERT_TRUE(kstest::FileExists(SignedFile("KestrelonStarter.exe"))) << "signed_files.sh (run by CTest) makes it";
  Serve();
  StampStarter(StampedSettings(Port()), SignedFile("KestrelonStarter.exe"));
  InstallClient("N");

  RunToLaunch("");

  ExpectClientStarted();
  EXPECT_FALSE(scene_.LoggedPrefix("Own signature")) << LogDump();
}

TEST_F(LaunchRoad, MeetingLinkStartsTheCurrentClientAndKeepsTheStarter) {
  CopyStarter();
  InstallClient("N");
  std::string query_file = scene_.root() + "\\query.txt";
  // No server: a link names no starter identifier, so nothing is reported.
  ASSERT_TRUE(kstest::WriteFile(query_file, std::string("account_server_ip=127.0.0.1&port=1&version=") + kVersion +
                                                "&role=host&meeting_id=m-99"));
  std::string link = Kstool("query " + Quote(query_file));
  while (!link.empty() && (link.back() == '\n' || link.back() == '\r')) link.pop_back();

  RunToLaunch(link);

  ExpectClientStarted();
  std::string parameters = kstest::ReadFileOrEmpty(ParameterFile());
  std::string lines = Crlf(SetupLines("", scene_.app()) + kSkippedDownload);
  EXPECT_EQ(parameters.compare(0, lines.size(), lines), 0) << parameters;
  EXPECT_EQ(parameters.find("<__NeedToRemoveSetup__>"), std::string::npos) << parameters;
  EXPECT_NE(parameters.find("<__MeetingId__>m-99</__MeetingId__>"), std::string::npos) << parameters;
  KeepLogFor("launched-client");
}

}  // namespace
}  // namespace e2e
