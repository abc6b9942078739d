// The failure roads end to end: no package to be had, a package that cannot
// be set up, or a link that cannot be read. The run stops with its log line,
// starts nothing, and the window tells the participant so until they close it.
#include <cstdlib>
#include <string>
#include <vector>

#include "app/parameter_cipher.h"
#include "app/query_decoding_win.h"
#include "base/codec.h"
#include "crash/fake_report_server_win.h"
#include "e2e/e2e_fixture_win.h"
#include "support/report_reader.h"

namespace e2e {
namespace {

using FailureRoad = StarterEndToEnd;

// A link made as kstool makes one, for the queries kstool refuses.
std::string LinkOf(const std::string& query) {
  return "Kestrelon:sp=" + Utility::URLEncode(Utility::EncodeParameter(query).c_str()) +
         "&chk=" + Utility::URLEncode(Utility::GetSHA1CheckSum(query.c_str()).c_str());
}

TEST_F(FailureRoad, ServerDown) {
  int port = kstest::RefusedPort();
  StampStarter(StampedSettings(port));

  std::string status = RunUntilLogged("", "Failed to download client from: ", kIncomplete);
  EXPECT_EQ(status, kIncomplete);
  EXPECT_TRUE(scene_.Logged("Failed to download client from: 127.0.0.1::" + std::to_string(port) +
                            ", iDownloadSize = 0, sDownloadSize = "))
      << LogDump();
  ExpectNothingInstalled();
  KeepLogFor("failed-server-unreachable");
}

// The refused launch ("Y") is reported beside the size request, so the log
// holds both requests' records in any order.
TEST_F(FailureRoad, ServerDownBesideTheRefusedLaunchReport) {
  StampStarter(StampedSettings(kstest::RefusedPort()));
  InstallClient("Y");

  EXPECT_EQ(RunUntilLogged("", "Failed to download client from: ", kIncomplete), kIncomplete);
  EXPECT_TRUE(scene_.LoggedPrefix("sURL = ")) << LogDump();
  EXPECT_TRUE(scene_.Records().empty());
  KeepLogFor("failed-server-unreachable-beside-report");
}

TEST_F(FailureRoad, SizeReplyOfLetters) {
  Serve({"--size-form", "letters"});
  StampStarter(StampedSettings(Port()));

  std::string status = RunUntilLogged("", "Failed to download client from: ", kIncomplete);
  EXPECT_EQ(status, kIncomplete);
  EXPECT_TRUE(scene_.Logged("Failed to download client from: 127.0.0.1::" + std::to_string(Port()) +
                            ", iDownloadSize = 0, sDownloadSize = unknown"))
      << LogDump();
  EXPECT_EQ(Requests(), std::vector<std::string>{kSizeRequest});
  ExpectNothingInstalled();
  KeepLogFor("failed-bad-size");
}

TEST_F(FailureRoad, PackageCutShort) {
  const long long kCut = 100000;
  ASSERT_GT(packages_->ClientSize(), kCut);
  // Only the package is cut; the size reply is far shorter than the cut.
  Serve({"--fault-path", "/as/wapi/get_client", "--cut-after", std::to_string(kCut)});
  StampStarter(StampedSettings(Port()));

  std::string status = RunUntilLogged("", "Filed to complete download: ", kIncomplete);
  EXPECT_EQ(status, kIncomplete);

  std::string prefix =
      "Filed to complete download: iExpectedDownloadSize = " + std::to_string(packages_->ClientSize()) +
      ", actual received = ";
  std::vector<std::string> log = scene_.Log();
  int line = apptest::FindMessage(log, prefix, true);
  ASSERT_GE(line, 0) << LogDump();
  long long received = atoll(log[line].c_str() + prefix.size());
  EXPECT_LT(received, packages_->ClientSize());

  std::vector<std::string> requests = Requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[0], kSizeRequest);
  for (size_t i = 1; i < requests.size(); ++i) EXPECT_EQ(requests[i], kPackageRequest);
  ExpectNothingInstalled();
  KeepLogFor("failed-incomplete-download");
}

// A whole package whose processing fails ends the run there: after the
// message box, the window says the download must be tried again and nothing
// is started, not even a launcher an earlier run left in the setup folder.
TEST_F(FailureRoad, AFailedProcessingStepStartsNothing) {
  struct Case {
    const char* name;
    bool block_the_download_file;
    size_t settings_size;
    const char* message;
    const char* log_line;
    const char* kept_as;  // the name the explain check knows the run by
  };
  const Case cases[] = {
      // The temporary folder and the starter's folder both refuse the file.
      {"download file cannot be saved", true, 0, "Unable to save the download file",
       "Filed to open file to write: ", "failed-disk"},
      // Settings that fit the worker, but not with the setup lines in front.
      {"parameters do not fit", false, 1900, "Unable to prepare the parameters for the installation",
       "Setup lines and settings need ", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Serve();
    std::string settings = StampedSettings(Port());
    if (c.settings_size > 0) {
      std::string field = "<__PassThrough__></__PassThrough__>\n";
      settings += field.insert(17, c.settings_size - settings.size() - field.size(), 'p');
      ASSERT_EQ(settings.size(), c.settings_size);
    }
    StampStarter(settings);
    if (c.block_the_download_file) {
      MakeDirectory(scene_.tmp() + "\\PCClient.zip");
      MakeDirectory(scene_.app() + "\\PCClient.zip");
    }
    // What an earlier run may have left where this one's setup folder goes.
    std::string stale_setup = c.block_the_download_file ? scene_.app() + "\\ks_starter_dir" : scene_.SetupDirectory();
    MakeDirectory(stale_setup);
    ASSERT_TRUE(kstest::CopyFileTo(standin_client::StandinPath("KSInstaller.exe"), stale_setup + "\\KSLauncher.exe"));

    EXPECT_EQ(RunUntilMessageBox(""), c.message);

    EXPECT_TRUE(scene_.LoggedPrefix(c.log_line)) << LogDump();
    EXPECT_TRUE(scene_.LoggedPrefix("Download is completed"));
    EXPECT_FALSE(scene_.LoggedPrefix("StartProcess("));
    EXPECT_TRUE(scene_.Records().empty());
    if (c.kept_as != nullptr) KeepLogFor(c.kept_as);
    // The next case starts afresh.
    server_.reset();
    kstest::RemoveTree(scene_.tmp());
    kstest::RemoveTree(scene_.app() + "\\PCClient.zip");
    kstest::RemoveTree(scene_.app() + "\\ks_starter_dir");
    MakeDirectory(scene_.tmp());
  }
}

// The starter's own command line goes on to the installer; one that leaves
// no room for the installer's path is refused, and the window says so
// instead of keeping the summary as if the installer had started.
TEST_F(FailureRoad, LinkTooLongForTheInstallerCommandLine) {
  Serve();
  CopyStarter();
  // The outer query's other keys are not read: the link stays valid.
  std::string link = MakeLink("account_server_ip=127.0.0.1&port=" + std::to_string(Port()) + "&version=" + kVersion +
                              "&role=attendee&meeting_id=m-4711") +
                     "&padding=" + std::string(2000, 'x');

  std::string status = RunUntilLogged(link, "sStartProcess does not fit ", kIncomplete);
  EXPECT_EQ(status, kIncomplete);
  EXPECT_TRUE(scene_.LoggedPrefix("Download is completed"));
  EXPECT_FALSE(scene_.LoggedPrefix("StartProcess("));
  EXPECT_TRUE(scene_.Records().empty());
}

// A link that cannot be read registers the protocol as a start without
// parameters does, and opens the window with the initialisation failure so
// the participant who clicked it sees that it did not work.
TEST_F(FailureRoad, UnreadableLinkShowsTheInitialisationFailure) {
  struct Case {
    const char* name;
    std::string query;
    bool break_checksum;
    const char* log_line;
  };
  const Case cases[] = {
      {"wrong checksum", "role=attendee&meeting_id=m-1", true, "Utility::DecryptQuery() failed. "},
      {"settings of 2048 bytes or more", "role=attendee&pass_through=" + std::string(1500, 'p'), false,
       "Refused sSetting: "},
      {"a zero byte in a value", "role=attendee&name=Ann%00Example", false,
       "Refused sSetting: a value holds a zero byte"},
  };
  CopyStarter();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string link = LinkOf(c.query);
    if (c.break_checksum) {
      size_t chk = link.find("&chk=") + 5;
      link[chk] = link[chk] == 'A' ? 'B' : 'A';
    }

    std::string status = RunUntilLogged(link, "No Meeting Parameter, sClientName = Kestrelon", kInitFailed);
    EXPECT_EQ(status, kInitFailed);
    EXPECT_TRUE(scene_.LoggedPrefix(c.log_line)) << LogDump();
    EXPECT_FALSE(scene_.LoggedPrefix("In Download"));
    if (c.break_checksum) KeepLogFor("failed-link-unreadable");
    // The next case starts with a log of its own.
    DeleteFileW(Widen((scene_.tmp() + "\\KSSetup.txt").c_str()).c_str());
  }
}

// A user who closes the window during the download ends the run there: the
// process ends cleanly while its worker and download threads still run.
TEST_F(FailureRoad, WindowClosedDuringTheDownload) {
  // 8 KiB pieces 200 ms apart: the package would take several seconds.
  Serve({"--piece-bytes", "8192", "--piece-delay-ms", "200"});
  StampStarter(StampedSettings(Port()));
  ASSERT_TRUE(starter_.Start(scene_, ""));
  ASSERT_TRUE(starter_.WaitForStatusLine("Downloading Kestrelon ...")) << LogDump();

  EXPECT_TRUE(starter_.CloseWindowAndWait());
  EXPECT_EQ(starter_.ExitCode(), 0u);
  EXPECT_FALSE(scene_.LoggedPrefix("Download is completed"));
  ExpectNothingInstalled();
  KeepLogFor("failed-interrupted");
}

// A copy stamped to report its failures posts one report on a road that
// ends short, naming the cause as the support desk reads it from the log;
// a copy stamped without the setting posts nothing.
TEST_F(FailureRoad, ACopyAskedToReportPostsTheCauseOfItsFailure) {
  struct Case {
    const char* name;
    bool asked;
    std::vector<std::string> serve;  // none: the account server is down
    bool unreadable_link;
    const char* logged;
    const char* status;
    const char* cause;
  };
  const Case cases[] = {
      {"server down", true, {}, false, "Failed to download client from: ", kIncomplete, "server-unreachable"},
      {"not asked", false, {}, false, "Failed to download client from: ", kIncomplete, nullptr},
      {"size of letters", true, {"--size-form", "letters"}, false, "Failed to download client from: ", kIncomplete,
       "bad-size"},
      {"package cut short", true, {"--fault-path", "/as/wapi/get_client$", "--cut-after", "100000"}, false,
       "Filed to complete download: ", kIncomplete, "incomplete-download"},
      {"unreadable link", true, {}, true, "No Meeting Parameter, sClientName = ", kInitFailed, "link-unreadable"},
  };
  FakeReportServer reports(KS_TEST_FAILURE_REPORT_PORT);
  ASSERT_TRUE(reports.listening()) << "port " << KS_TEST_FAILURE_REPORT_PORT << " is taken";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server_.reset();
    if (!c.serve.empty()) Serve(c.serve);
    int port = c.serve.empty() ? kstest::RefusedPort() : Port();
    StampStarter(StampedSettings(port) + (c.asked ? "<__ReportFailures__>Y</__ReportFailures__>\n" : ""),
                 kstest::BuildDir() + "\\tests\\KestrelonStarterQuickGiveUp.exe");
    std::string link;
    if (c.unreadable_link) {
      link = LinkOf("role=attendee&meeting_id=m-1");
      size_t chk = link.find("&chk=") + 5;
      link[chk] = link[chk] == 'A' ? 'B' : 'A';
    }
    size_t before = reports.Requests().size();

    EXPECT_EQ(RunUntilLogged(link, c.logged, c.status), c.status);
    std::vector<ReceivedRequest> posted = reports.Requests();
    posted.erase(posted.begin(), posted.begin() + static_cast<std::ptrdiff_t>(before));
    if (c.cause == nullptr) {
      EXPECT_TRUE(posted.empty());
      continue;
    }
    ASSERT_EQ(posted.size(), 1u) << LogDump();
    EXPECT_EQ(posted[0].request_line, "POST /aspx/web_conference/common/DUZirerEzived.aspx HTTP/1.1");
    ErrorReportContents report;
    std::string error;
    ASSERT_TRUE(ReadErrorReport(posted[0].body, report, error)) << error;
    EXPECT_EQ(report.facts.last_error, 0u);
    EXPECT_EQ(report.facts.last_error_text, c.cause);
    EXPECT_EQ(report.facts.current_file, kStarterName);
    EXPECT_FALSE(report.facts.dump.present);
    EXPECT_NE(report.log.find(c.logged), std::string::npos) << "the log as it was at the failure";
    EXPECT_TRUE(scene_.LoggedPrefix(std::string("Failure report sent: ") + c.cause)) << LogDump();
    if (c.serve.empty() && !c.unreadable_link) {
      EXPECT_TRUE(kstest::KeepForExplain("failure-report", posted[0].body));
    }
    DeleteFileW(Widen((scene_.tmp() + "\\KSSetup.txt").c_str()).c_str());
  }
}

}  // namespace
}  // namespace e2e
