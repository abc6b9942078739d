// A counted download must be exactly its expected length on every path:
// the WinInet reads (plain request and engine) and the socket fetch refuse
// a reply that announces another length, carries bytes beyond it, or has a
// header larger than the socket fetch's first block; and none of them reads
// past a length the reply announced itself.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/hlib_win.h"
#include "net/net_fixture_win.h"
#include "net/url_download_win.h"
#include "fixtures/log_capture.h"

namespace {

using nettest::ServeProcess;

const char kPackagePath[] = "/as/wapi/get_client?client_type=0&client=pc";
const char kWinInetRead[] = "HR::ReadReply";
const char kSocketFetch[] = "Utility::URLDownload";

// Whether `operation` logged a message starting with `prefix`.
bool LoggedBy(const LogCapture& log, const char* operation, const std::string& prefix) {
  for (const CapturedRecord& record : log.Records())
    if (record.operation == operation && record.message.compare(0, prefix.size(), prefix) == 0) return true;
  return false;
}

class CountedReplyTest : public ::testing::Test {
 protected:
  static constexpr int kSize = 300000;

  void SetUp() override {
    HR::ResetSharedState();
    package_.resize(kSize);
    for (size_t i = 0; i < package_.size(); ++i) package_[i] = static_cast<char>((i * 131) >> 3);
    path_ = nettest::WriteTextFile(dir_, "package.bin", package_);
  }
  void TearDown() override { HR::ResetSharedState(); }

  std::vector<std::string> Serving(std::vector<std::string> faults) {
    faults.insert(faults.begin(), {"--package", path_});
    return faults;
  }

  // GetPage as the download thread calls it; the buffer has a guard behind
  // the expected length that must stay untouched.
  bool Download(const char* host, int port) {
    HLib lib;
    lib.m_bUseMinReadBuffer = true;
    lib.m_iExpectedReceiveSize = kSize;
    buffer_.assign(static_cast<size_t>(kSize) + 16, 'G');
    int used = 0;
    bool ok = lib.GetPage(host, port, kPackagePath, kSize, "", &buffer_[0], &used);
    received_ = lib.m_iCurrentlyReceived;
    EXPECT_EQ(buffer_.substr(kSize), std::string(16, 'G'));
    return ok;
  }
  bool Whole() const { return buffer_.compare(0, kSize, package_) == 0; }

  // The socket fetch alone.
  bool SocketDownload(int port, int* received) {
    std::string url = "http://127.0.0.1:" + std::to_string(port) + kPackagePath;
    std::unique_ptr<char[]> body;
    int size = 0;
    std::atomic<int> counter(0);
    bool ok = Utility::URLDownload(url.c_str(), kSize, true, &body, &size, &counter);
    *received = counter;
    return ok;
  }

  nettest::InternetSettings settings_;  // no proxy while the test runs
  kstest::TempDir dir_;
  std::string package_;
  std::string path_;
  std::string buffer_;
  int received_ = 0;
};

// Refused by the plain WinInet request (which marks WinInet as failed) and
// then by the socket fetch that follows it, with their own log lines.
TEST_F(CountedReplyTest, HostileRepliesAreRefusedOnEveryPath) {
  struct Case {
    const char* name;
    std::vector<std::string> faults;
    const char* wininet_line;  // prefix
    const char* socket_line;   // prefix
  };
  const std::string size = std::to_string(kSize);
  const Case cases[] = {
      {"ten times the length", {"--content-length", std::to_string(kSize * 10)},
       "Content-Length 3000000 does not match the expected length 300000", "Content-Length does not match"},
      {"one byte short", {"--content-length", std::to_string(kSize - 1)},
       "Content-Length 299999 does not match the expected length 300000", "Content-Length does not match"},
      {"endless", {"--endless"}, "received ", "received "},
      {"70 KiB header", {"--header-bytes", std::to_string(70 * 1024)}, "header of ", "invalid header"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HR::ResetSharedState();
    ServeProcess server(Serving(c.faults));
    ASSERT_TRUE(server.ok());
    LogCapture log;
    EXPECT_FALSE(Download("127.0.0.1", server.port()));
    EXPECT_TRUE(HR::bHTTPFailed);
    EXPECT_TRUE(LoggedBy(log, kWinInetRead, c.wininet_line)) << log.Dump();
    EXPECT_TRUE(LoggedBy(log, kSocketFetch, c.socket_line)) << log.Dump();
    EXPECT_NE(received_, kSize);
  }
}

// The engine reads replies the same way (a host other than 127.0.0.1 goes
// through it): another length is refused there too.
TEST_F(CountedReplyTest, TheEngineRefusesAnotherLengthToo) {
  ServeProcess server(Serving({"--content-length", std::to_string(kSize + 1)}));
  ASSERT_TRUE(server.ok());
  LogCapture log;
  EXPECT_FALSE(Download("localhost", server.port()));
  EXPECT_FALSE(log.Has("HR::DoRequest succeeded! Read1 Completed!"));
  EXPECT_TRUE(LoggedBy(log, kWinInetRead, "Content-Length 300001 does not match")) << log.Dump();
}

// Well-formed replies still arrive whole: a reply without a length that
// ends with the close, and a header just within the first block.
TEST_F(CountedReplyTest, WellFormedRepliesStillArriveWhole) {
  for (const std::vector<std::string>& faults :
       {std::vector<std::string>{"--no-content-length"}, std::vector<std::string>{"--header-bytes", "61440"}}) {
    SCOPED_TRACE(faults[0]);
    HR::ResetSharedState();
    ServeProcess server(Serving(faults));
    ASSERT_TRUE(server.ok());
    EXPECT_TRUE(Download("127.0.0.1", server.port()));
    EXPECT_FALSE(HR::bHTTPFailed);
    EXPECT_EQ(received_, kSize);
    EXPECT_TRUE(Whole());
    int received = 0;
    EXPECT_TRUE(SocketDownload(server.port(), &received));
    EXPECT_EQ(received, kSize);
  }
}

// A peer that announced the length and then holds the connection open (as a
// keep-alive server may) is never waited for past that length: both paths
// return with the package while the server still holds the connection.
TEST_F(CountedReplyTest, NothingIsReadPastAnAnnouncedLength) {
  ServeProcess server(Serving({"--stall-after", std::to_string(kSize)}));
  ASSERT_TRUE(server.ok());
  EXPECT_TRUE(Download("127.0.0.1", server.port()));
  EXPECT_FALSE(HR::bHTTPFailed);
  EXPECT_TRUE(Whole());
  int received = 0;
  EXPECT_TRUE(SocketDownload(server.port(), &received));
  EXPECT_EQ(received, kSize);
}

// A server that stalls mid-package and then goes away: the socket fetch
// ends as soon as the connection does (long before its receive limit),
// with the count that arrived and the partial body handed over.
TEST_F(CountedReplyTest, ASocketStallEndsWhenTheServerGoes) {
  const int kHalf = kSize / 2;
  std::unique_ptr<ServeProcess> server(new ServeProcess(Serving({"--stall-after", std::to_string(kHalf)})));
  ASSERT_TRUE(server->ok());
  std::string url = "http://127.0.0.1:" + std::to_string(server->port()) + kPackagePath;
  std::unique_ptr<char[]> body;
  int size = 0;
  std::atomic<int> counter(0);
  std::atomic<bool> done(false);
  bool ok = true;
  LogCapture log;
  std::thread fetch([&] {
    ok = Utility::URLDownload(url.c_str(), kSize, true, &body, &size, &counter);
    done = true;
  });
  bool arrived = kstest::WaitUntil([&] { return counter.load() == kHalf; });
  EXPECT_TRUE(arrived);
  EXPECT_FALSE(done);  // held: neither finished nor failed while the server lives
  server.reset();
  fetch.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(counter.load(), kHalf);
  ASSERT_TRUE(body != nullptr);
  EXPECT_EQ(std::string(body.get(), kHalf), package_.substr(0, kHalf));
  EXPECT_TRUE(log.HasFragment("recv() iReturn == -1")) << log.Dump();
}

}  // namespace
