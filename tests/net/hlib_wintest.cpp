// HLib::GetPage against "kstool serve": the engine, the plain request, the
// socket fallback, the reply buffer's bounds and counted downloads.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net/hlib_win.h"
#include "net/net_fixture_win.h"
#include "fixtures/log_capture.h"

namespace {

using nettest::ServeProcess;

const char kSizePath[] = "/as/wapi/get_client_size?client_type=0&xml_format=Y&client=pc";
const char kPackagePath[] = "/as/wapi/get_client?client_type=0&client=pc";

class GetPageTest : public ::testing::Test {
 protected:
  void SetUp() override { HR::ResetSharedState(); }
  void TearDown() override { HR::ResetSharedState(); }
  nettest::InternetSettings settings_;  // no proxy while the test runs
};

std::string Page(HLib& lib, const char* host, int port, const char* path, bool* ok, const char* keyword = "",
                 int limit = 2048) {
  std::vector<char> buffer(static_cast<size_t>(limit) + 1, 'Z');
  int used = -1;
  *ok = lib.GetPage(host, port, path, limit, keyword, buffer.data(), &used);
  return std::string(buffer.data());
}

TEST_F(GetPageTest, EmptyHostIsRefusedWithoutARequest) {
  ServeProcess server;
  LogCapture log;
  HLib lib;
  char buffer[64];
  int used = 0;
  EXPECT_FALSE(lib.GetPage("", server.port(), kSizePath, sizeof buffer, "", buffer, &used));
  EXPECT_EQ(used, server.port());
  EXPECT_TRUE(log.Has("Empty IP, iPort = " + std::to_string(server.port()) +
                      ", URL = /as/wapi/get_client_size, m_iExpectedReceiveSize = 0"));
  EXPECT_EQ(server.Requests(), "");
}

TEST_F(GetPageTest, LoopbackAddressSkipsTheEngineAndUsesThePlainRequest) {
  ServeProcess server({"--client-size", "123456"});
  LogCapture log;
  HLib lib;
  bool ok = false;
  EXPECT_EQ(Page(lib, "127.0.0.1", server.port(), kSizePath, &ok), "<__ClientSize__>123456</__ClientSize__>");
  EXPECT_TRUE(ok);
  EXPECT_EQ(log.Count("Skip 127.0.0.1"), 2);  // direct and system configuration
  EXPECT_FALSE(HR::bHTTPFailed);
  std::vector<std::string> lines = server.RequestLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], std::string("GET ") + kSizePath + " HTTP/1.1");  // no cache buster on the plain request
  EXPECT_TRUE(log.Has("sIP = 127.0.0.1, iPort = " + std::to_string(server.port()) +
                      ", URL = /as/wapi/get_client_size, m_iExpectedReceiveSize = 0"));
}

TEST_F(GetPageTest, HostNameGoesThroughTheEngineWithTheCacheBuster) {
  ServeProcess server({"--user-input", "hello"});
  LogCapture log;
  HLib lib;
  bool ok = false;
  EXPECT_EQ(Page(lib, "localhost", server.port(), "/as/wapi/ssi?sid=abc", &ok, "<__UserInput__>"),
            "<__UserInput__>hello</__UserInput__>");
  EXPECT_TRUE(ok);
  EXPECT_EQ(Page(lib, "localhost", server.port(), "/as/wapi/ssi", &ok), "<__UserInput__>hello</__UserInput__>");
  std::vector<std::string> lines = server.RequestLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].find("GET /as/wapi/ssi?sid=abc&rdm="), 0u) << lines[0];
  EXPECT_EQ(lines[1].find("GET /as/wapi/ssi?rdm="), 0u) << lines[1];
  EXPECT_TRUE(log.HasFragment("cPType=D, sByPass=, sPAddress=, URL=/as/wapi/ssi")) << log.Dump();
  EXPECT_TRUE(log.Has("HR::DoRequest succeeded! Read2 Completed!"));
}

TEST_F(GetPageTest, MissingKeywordFailsOnWinInetButNotOnTheSocket) {
  ServeProcess server;
  LogCapture log;
  HLib lib;
  bool ok = false;
  std::string reply = Page(lib, "localhost", server.port(), kSizePath, &ok, "NotThere");
  EXPECT_TRUE(ok);  // the socket fetch's reply counts, keyword or not
  EXPECT_EQ(reply, "<__ClientSize__>0</__ClientSize__>");
  EXPECT_TRUE(HR::bHTTPFailed);
  EXPECT_TRUE(log.Has("Invalid page returned: <__ClientSize__>0</__ClientSize__>")) << log.Dump();
  EXPECT_EQ(log.Count("HTTP fialed. Now try TCP for URL = /as/wapi/get_client_size"), 1);
  EXPECT_TRUE(log.HasFragment("No keyword, error code: ")) << log.Dump();
  std::vector<std::string> lines = server.RequestLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), std::string("GET ") + kSizePath + " HTTP/1.0");  // the socket fetch came last
}

TEST_F(GetPageTest, OnceWinInetFailedTheSocketResultDecides) {
  // WinInet requests are answered; the socket fetch's are cut off at once.
  ServeProcess server({"--close-at-once", "--fault-agent", "MSIE 6.0"});
  HR::bHTTPFailed = true;
  LogCapture log;
  HLib lib;
  bool ok = true;
  Page(lib, "localhost", server.port(), kSizePath, &ok);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(log.Has("HR::DoRequest succeeded! Read2 Completed!"));
  EXPECT_TRUE(log.HasFragment("recv() iReturn == -1"));
}

TEST_F(GetPageTest, Port443FallsBackToPlainHttpOnPort80) {
  HR::bHTTPFailed = true;
  LogCapture log;
  HLib lib;
  char buffer[64];
  int used = 0;
  lib.GetPage("localhost", 443, "/p", sizeof buffer, "", buffer, &used);
  EXPECT_EQ(used, 80);
  EXPECT_TRUE(log.Has("HTTP fialed. Now try TCP for URL = /p"));
}

TEST_F(GetPageTest, RepliesNeverPassTheReplyLimit) {
  std::string text(300, 'u');
  ServeProcess server({"--user-input", text + "KEY"});
  LogCapture log;
  HLib lib;
  std::vector<char> buffer(80, 'C');
  int used = 0;
  // The keyword lies beyond the limit: not found on any path, never read.
  EXPECT_TRUE(lib.GetPage("localhost", server.port(), "/as/wapi/ssi", 50, "KEY", buffer.data(), &used));
  EXPECT_EQ(std::string(buffer.data(), 49), "<__UserInput__>" + std::string(34, 'u'));
  EXPECT_EQ(buffer[49], '\0');  // a text reply always keeps its zero byte
  EXPECT_EQ(std::string(buffer.data() + 50, 30), std::string(30, 'C'));
  EXPECT_TRUE(log.HasFragment("reply of 334 bytes cut to the reply limit of 49")) << log.Dump();
}

TEST_F(GetPageTest, CountedReplyFillingTheBufferIsSearchedOnlyWhereItArrived) {
  kstest::TempDir dir;
  std::string package = nettest::WriteTextFile(dir, "package.bin", std::string(1000, 'p'));
  ServeProcess server({"--package", package});
  LogCapture log;
  HLib lib;
  lib.m_bUseMinReadBuffer = true;
  lib.m_iExpectedReceiveSize = 1000;
  std::vector<char> buffer(1000, 'C');
  buffer.insert(buffer.end(), {'K', 'E', 'Y', '\0'});  // right after the limit
  int used = 0;
  lib.GetPage("localhost", server.port(), kPackagePath, 1000, "KEY", buffer.data(), &used);
  EXPECT_TRUE(log.Has("Invalid page returned: " + std::string(1000, 'p'))) << log.Dump();
  EXPECT_EQ(std::string(buffer.data() + 1000, 3), "KEY");
}

TEST_F(GetPageTest, CountedDownloadLargerThanTheBufferIsRefused) {
  LogCapture log;
  HLib lib;
  lib.m_bUseMinReadBuffer = true;
  lib.m_iExpectedReceiveSize = 5000;
  char buffer[100];
  int used = 0;
  EXPECT_FALSE(lib.GetPage("localhost", 1, kPackagePath, sizeof buffer, "", buffer, &used));
  EXPECT_TRUE(log.Has("Counted download refused: m_iExpectedReceiveSize = 5000, iMaxLength = 100"));
}

class CountedDownloadTest : public GetPageTest {
 protected:
  void SetUp() override {
    GetPageTest::SetUp();
    size_ = 64 * 1024 * 1024;
    package_.resize(static_cast<size_t>(size_));
    unsigned state = 12345;
    for (size_t i = 0; i < package_.size(); ++i) {
      state = state * 1103515245u + 12345u;
      package_[i] = static_cast<char>(state >> 24);
    }
    path_ = nettest::WriteTextFile(dir_, "package.bin", package_);
  }
  bool Download(const char* host, int port) {
    lib_.m_bUseMinReadBuffer = true;
    lib_.m_iExpectedReceiveSize = size_;
    buffer_.reset(new char[static_cast<size_t>(size_) + 1]);
    int used = 0;
    return lib_.GetPage(host, port, kPackagePath, size_, "", buffer_.get(), &used);
  }
  kstest::TempDir dir_;
  std::string package_;
  std::string path_;
  int size_;
  HLib lib_;
  std::unique_ptr<char[]> buffer_;
};

TEST_F(CountedDownloadTest, SixtyFourMegabytesArriveByteIdentical) {
  ServeProcess server({"--package", path_});
  LogCapture log;
  ASSERT_TRUE(Download("127.0.0.1", server.port()));
  EXPECT_EQ(lib_.m_iCurrentlyReceived, size_);
  EXPECT_TRUE(memcmp(buffer_.get(), package_.data(), package_.size()) == 0);
  EXPECT_FALSE(HR::bHTTPFailed);
  // Through the engine too.
  ASSERT_TRUE(Download("localhost", server.port()));
  EXPECT_TRUE(memcmp(buffer_.get(), package_.data(), package_.size()) == 0);
  EXPECT_TRUE(log.Has("HR::DoRequest succeeded! Read1 Completed!"));
}

TEST_F(CountedDownloadTest, ThroughTheSocketFetchToo) {
  ServeProcess server({"--package", path_});
  HR::bHTTPFailed = true;
  ASSERT_TRUE(Download("127.0.0.1", server.port()));
  EXPECT_EQ(lib_.m_iCurrentlyReceived, size_);
  EXPECT_TRUE(memcmp(buffer_.get(), package_.data(), package_.size()) == 0);
}

TEST_F(CountedDownloadTest, CutPackageEndsShortOfTheSize) {
  ServeProcess server({"--package", path_, "--cut-after", "1000000"});
  EXPECT_FALSE(Download("127.0.0.1", server.port()));
  EXPECT_TRUE(HR::bHTTPFailed);
  EXPECT_EQ(lib_.m_iCurrentlyReceived, 1000000);  // the socket fetch's count
}

}  // namespace
