// The failure roads end to end: no package to be had. The run stops with its
// log line and the window's last text, starts nothing, and leaves the window
// for the user to close.
#include <cstdlib>
#include <string>
#include <vector>

#include "e2e/e2e_fixture_win.h"

namespace e2e {
namespace {

using FailureRoad = StarterEndToEnd;

TEST_F(FailureRoad, ServerDown) {
  int port = kstest::RefusedPort();
  StampStarter(StampedSettings(port));

  std::string status = RunUntilLogged("", "Failed to download client from: ", "Connecting ...");
  EXPECT_EQ(status, "Connecting ...");
  EXPECT_TRUE(scene_.Logged("Failed to download client from: 127.0.0.1::" + std::to_string(port) +
                            ", iDownloadSize = 0, sDownloadSize = "))
      << LogDump();
  ExpectNothingInstalled();
}

TEST_F(FailureRoad, SizeReplyOfLetters) {
  Serve({"--size-form", "letters"});
  StampStarter(StampedSettings(Port()));

  std::string status = RunUntilLogged("", "Failed to download client from: ", "Connecting ...");
  EXPECT_EQ(status, "Connecting ...");
  EXPECT_TRUE(scene_.Logged("Failed to download client from: 127.0.0.1::" + std::to_string(Port()) +
                            ", iDownloadSize = 0, sDownloadSize = unknown"))
      << LogDump();
  EXPECT_EQ(Requests(), std::vector<std::string>{kSizeRequest});
  ExpectNothingInstalled();
}

TEST_F(FailureRoad, PackageCutShort) {
  const long long kCut = 100000;
  ASSERT_GT(packages_->ClientSize(), kCut);
  // Only the package is cut; the size reply is far shorter than the cut.
  Serve({"--fault-path", "/as/wapi/get_client", "--cut-after", std::to_string(kCut)});
  StampStarter(StampedSettings(Port()));

  std::string status =
      RunUntilLogged("", "Filed to complete download: ", "Download is incomplete. Please try it again");
  EXPECT_EQ(status, "Download is incomplete. Please try it again");

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
}

}  // namespace
}  // namespace e2e
