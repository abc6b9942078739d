// Hostile account servers end to end: replies that lie about their length,
// never end, carry a huge header, are empty, stall, or give a size that is no
// size. Every such run ends with the failure text and its log line, crashes
// nothing, starts nothing and unpacks nothing; the window stays for the user.
// Last, a server that only holds the connection open after a whole package,
// and one slow to answer the installation report, or never answering it.
#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "e2e/e2e_fixture_win.h"

namespace e2e {
namespace {

// Faults aimed at the package request only ("$": the whole path, so the size
// request, whose path starts the same, is answered properly).
const char kPackageOnly[] = "/as/wapi/get_client$";

class HostileServer : public StarterEndToEnd {
 protected:
  // The count the download step logged with its failure line, or -1.
  long long LoggedReceivedCount() {
    std::string prefix = "Filed to complete download: iExpectedDownloadSize = " +
                         std::to_string(packages_->ClientSize()) + ", actual received = ";
    std::vector<std::string> log = scene_.Log();
    int line = apptest::FindMessage(log, prefix, true);
    EXPECT_GE(line, 0) << LogDump();
    return line >= 0 ? atoll(log[line].c_str() + prefix.size()) : -1;
  }

  // A run that ends in the download step: the failure line, the window's
  // last text, and the size request before the package request(s).
  long long RunToIncompleteDownload() {
    std::string status = RunUntilLogged("", "Filed to complete download: ", kIncomplete);
    EXPECT_EQ(status, kIncomplete);
    std::vector<std::string> requests = Requests();
    EXPECT_GE(requests.size(), 2u);
    if (!requests.empty()) {
      EXPECT_EQ(requests[0], kSizeRequest);
    }
    for (size_t i = 1; i < requests.size(); ++i) EXPECT_EQ(requests[i], kPackageRequest);
    return LoggedReceivedCount();
  }
};

// The size request's road: each case gets its own server and starter run,
// and ends with the size failure line before any package request.
TEST_F(HostileServer, SizeReplyThatIsNoSize) {
  const char kSizeOnly[] = "/as/wapi/get_client_size$";
  struct Case {
    const char* name;
    std::vector<std::string> options;
    int size;
    std::string reply;
  };
  const Case cases[] = {
      // A negative count, and numbers no 32-bit count can hold (which must
      // not saturate into a 2 GiB download), in both reply forms.
      {"negative", {"--size-text", "-5"}, -5, "<__ClientSize__>-5</__ClientSize__>"},
      {"overflowing", {"--size-text", "99999999999999999999", "--size-form", "bare"}, 0, "99999999999999999999"},
      {"just past a count", {"--size-text", "2147483648"}, 0, "<__ClientSize__>2147483648</__ClientSize__>"},
      // Replies with no size to be had at all.
      {"zero bytes", {"--fault-path", kSizeOnly, "--close-at-once"}, 0, ""},
      {"70 KiB header", {"--fault-path", kSizeOnly, "--header-bytes", std::to_string(70 * 1024)}, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Serve(c.options);
    StampStarter(StampedSettings(Port()));

    std::string status = RunUntilLogged("", "Failed to download client from: ", kIncomplete);
    EXPECT_EQ(status, kIncomplete);
    EXPECT_TRUE(scene_.Logged("Failed to download client from: 127.0.0.1::" + std::to_string(Port()) +
                              ", iDownloadSize = " + std::to_string(c.size) + ", sDownloadSize = " + c.reply))
        << LogDump();
    std::vector<std::string> requests = Requests();
    EXPECT_FALSE(requests.empty());
    for (const std::string& request : requests) EXPECT_EQ(request, kSizeRequest);
    ExpectNothingInstalled();
    // The next run starts with a log of its own.
    server_.reset();
    DeleteFileW(Widen((scene_.tmp() + "\\KSSetup.txt").c_str()).c_str());
  }
}

// A header announcing ten times the size, with the package itself behind it:
// the reply is refused on both fetch paths, before any of it is taken,
// instead of trusting either count.
TEST_F(HostileServer, ContentLengthFarAboveTheSize) {
  long long announced = packages_->ClientSize() * 10;
  Serve({"--fault-path", kPackageOnly, "--content-length", std::to_string(announced)});
  StampStarter(StampedSettings(Port()));

  EXPECT_EQ(RunToIncompleteDownload(), 0);
  std::string expected = std::to_string(packages_->ClientSize());
  EXPECT_TRUE(scene_.Logged("Content-Length " + std::to_string(announced) + " does not match the expected length " +
                            expected + ", refused"))
      << LogDump();
  EXPECT_TRUE(scene_.Logged("Content-Length does not match the expected length " + expected + ", refused"));
  ExpectNothingInstalled();
}

// The package and then filler for ever, with no length announced: the
// bytes past the size fail the download, however they arrive.
TEST_F(HostileServer, EndlessBody) {
  Serve({"--fault-path", kPackageOnly, "--endless"});
  StampStarter(StampedSettings(Port()));

  long long received = RunToIncompleteDownload();
  EXPECT_GT(received, packages_->ClientSize());
  EXPECT_TRUE(scene_.LoggedPrefix("received ")) << LogDump();
  ExpectNothingInstalled();
}

// A 70 KiB header (many padding lines, as many large cookies would make):
// beyond the socket fetch's first block, so refused on both paths alike.
TEST_F(HostileServer, HeaderOf70KiB) {
  Serve({"--fault-path", kPackageOnly, "--header-bytes", std::to_string(70 * 1024)});
  StampStarter(StampedSettings(Port()));

  long long received = RunToIncompleteDownload();
  EXPECT_EQ(received, 0);
  EXPECT_TRUE(scene_.LoggedPrefix("header of ")) << LogDump();  // WinInet
  EXPECT_TRUE(scene_.Logged("invalid header")) << LogDump();    // the socket fetch
  ExpectNothingInstalled();
}

// The server takes the package request and closes without a byte.
TEST_F(HostileServer, ReplyOfZeroBytes) {
  Serve({"--fault-path", kPackageOnly, "--close-at-once"});
  StampStarter(StampedSettings(Port()));

  EXPECT_EQ(RunToIncompleteDownload(), 0);
  EXPECT_TRUE(scene_.LoggedPrefix("recv() iReturn == -1, error code: ")) << LogDump();
  ExpectNothingInstalled();
}

// Half the package, then silence with the connection held open. The
// download stays where it is while the server lives (within the receive
// limit); once the server has gone, the run ends with the count that arrived.
TEST_F(HostileServer, ConnectionStallsMidPackage) {
  long long half = packages_->ClientSize() / 2;
  Serve({"--fault-path", kPackageOnly, "--stall-after", std::to_string(half)});
  StampStarter(StampedSettings(Port()));
  ASSERT_TRUE(starter_.Start(scene_, ""));
  ASSERT_TRUE(StarterProcess::WaitUntil([&] { return starter_.ProgressPosition() > 0; })) << LogDump();

  EXPECT_TRUE(starter_.Running());
  EXPECT_FALSE(scene_.LoggedPrefix("Filed to complete download"));
  EXPECT_EQ(starter_.StatusLine(), "Downloading Kestrelon ...");
  std::vector<std::string> requests = Requests();
  server_.reset();

  EXPECT_TRUE(StarterProcess::WaitUntil([&] { return scene_.LoggedPrefix("Filed to complete download: "); }))
      << LogDump();
  EXPECT_EQ(CloseAfterOutcome(kIncomplete), kIncomplete);
  long long received = LoggedReceivedCount();
  EXPECT_GT(received, 0);
  EXPECT_LE(received, half);
  EXPECT_EQ(requests, (std::vector<std::string>{kSizeRequest, kPackageRequest}));
  ExpectNothingInstalled();
}

// WinInet's requests are turned away (as a proxy or filter in the way
// might), so every reply comes through the socket fetch.
const char kOnlyTheSocketFetch[] = "Internet Explorer";

// Half the package, then silence with the connection held open: each fetch
// gives up once no byte has come for its receive limit (3 s in this build of
// the starter instead of 90 s), while the server still holds the connection.
// Through the socket fetch alone; through the plain WinInet request first,
// whose limits the system would otherwise decide (under Wine: none); and,
// for a server named rather than numbered, through the engine before both.
TEST_F(HostileServer, SilentServerIsGivenUpAfterTheReceiveLimit) {
  struct Case {
    const char* name;
    const char* host;
    std::vector<std::string> options;
    const char* plain_request_line;  // null: WinInet was turned away
  };
  const Case cases[] = {
      {"socket fetch only", "127.0.0.1", {"--refuse-agent", kOnlyTheSocketFetch}, nullptr},
      {"plain request, then socket fetch", "127.0.0.1", {}, "IRE() error code: "},
      {"engine, plain request, then socket fetch", "localhost", {}, "IRE() error code: "},
  };
  long long half = packages_->ClientSize() / 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> options = c.options;
    options.insert(options.end(), {"--fault-path", kPackageOnly, "--stall-after", std::to_string(half)});
    Serve(options);
    std::string settings = StampedSettings(Port());
    settings.replace(settings.find("127.0.0.1"), 9, c.host);
    StampStarter(settings, kstest::BuildDir() + "\\tests\\KestrelonStarterQuickGiveUp.exe");

    std::string status = RunUntilLogged("", "Filed to complete download: ", kIncomplete);
    EXPECT_EQ(status, kIncomplete);
    if (c.plain_request_line != nullptr) {
      EXPECT_TRUE(scene_.LoggedPrefix(c.plain_request_line)) << LogDump();
    }
    EXPECT_TRUE(scene_.LoggedPrefix("recv() iReturn == -1, error code: 10060, ")) << LogDump();
    EXPECT_EQ(LoggedReceivedCount(), half);
    ExpectNothingInstalled();
    if (std::string(c.host) == "localhost") KeepLogFor("failed-no-answer");
    server_.reset();
    DeleteFileW(Widen((scene_.tmp() + "\\KSSetup.txt").c_str()).c_str());
  }
}

// The package without a length, then the connection held open (a keep-alive
// server): the socket fetch has what it asked for once the count is in and
// does not wait for more.
TEST_F(HostileServer, PackageWithoutLengthOnAConnectionHeldOpen) {
  Serve({"--refuse-agent", kOnlyTheSocketFetch, "--fault-path", kPackageOnly, "--no-content-length", "--stall-after",
         std::to_string(packages_->ClientSize())});
  StampStarter(StampedSettings(Port()));

  RunUntilStarted("", "KSLauncher", "Setup Kestrelon ...");
  EXPECT_TRUE(scene_.LoggedPrefix("Download is completed")) << LogDump();
  EXPECT_EQ(scene_.Records(), std::vector<std::string>{"standin_KSLauncher.txt"});
}

// An account server that takes the installation report and answers it late,
// or never (as an overloaded one may at the start of a large meeting). On the
// launch road and on the install road the client or launcher starts without
// waiting for the answer, the server gets one report per hand-off, and the
// starter ends by itself once the report is over: answered, or given up at
// its limits (3 s a fetch in the build that gives up quickly), on WinInet and
// then on the socket.
struct ReportCase {
  const char* name;
  bool launch_road;
  bool answered;  // late (4 s), or never
};
void PrintTo(const ReportCase& c, std::ostream* out) { *out << c.name; }

class SlowReport : public HostileServer, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(SlowReport, HoldsNoHandOffAndTheStarterEndsAfterIt) {
  const ReportCase& c = GetParam();
  const char* program = c.launch_road ? "Kestrelon" : "KSLauncher";
  Serve({"--fault-path", "/as/wapi/ssi$", "--delay-ms", c.answered ? "4000" : "600000"});
  if (c.answered)
    StampStarter(StampedSettings(Port()));
  else
    StampStarter(StampedSettings(Port()), kstest::BuildDir() + "\\tests\\KestrelonStarterQuickGiveUp.exe");
  if (c.launch_road) InstallClient("N");

  ASSERT_TRUE(starter_.Start(scene_, ""));
  ASSERT_TRUE(StarterProcess::WaitUntil([&] {
    std::vector<std::string> requests = Requests();
    return std::find(requests.begin(), requests.end(), ReportRequest()) != requests.end();
  })) << LogDump();
  EXPECT_TRUE(StarterProcess::WaitUntil([&] { return scene_.Started(program); }, 2000)) << LogDump();
  EXPECT_FALSE(scene_.LoggedPrefix("sURL = ")) << LogDump();

  if (c.launch_road) {
    EXPECT_TRUE(starter_.WaitForExit(kOutcomeTimeoutMs)) << LogDump();
    EXPECT_EQ(starter_.ExitCode(), 0u);
  } else {
    CloseAfterOutcome("Setup Kestrelon ...");
  }
  if (c.answered) {
    EXPECT_TRUE(scene_.Logged("sURL = " + ReportRequest() + ", sReturn = <__UserInput__>" + kUserInput +
                              "</__UserInput__>"))
        << LogDump();
    std::vector<std::string> expected = {kSizeRequest, kPackageRequest, ReportRequest()};
    if (c.launch_road) expected = {ReportRequest()};
    EXPECT_EQ(Requests(), expected);
  } else {
    EXPECT_TRUE(scene_.Logged("sURL = " + ReportRequest() + ", sReturn = ")) << LogDump();
    EXPECT_TRUE(scene_.LoggedPrefix("recv() iReturn == -1, error code: 10060, ")) << LogDump();
  }
}

INSTANTIATE_TEST_SUITE_P(HostileServer, SlowReport,
                         ::testing::Values(ReportCase{"LaunchRoadNoAnswer", true, false},
                                           ReportCase{"InstallRoadNoAnswer", false, false},
                                           ReportCase{"LaunchRoadLateAnswer", true, true},
                                           ReportCase{"InstallRoadLateAnswer", false, true}),
                         [](const ::testing::TestParamInfo<ReportCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
