// The socket fetch against "kstool serve": the request bytes the server sees,
// and replies cut, delayed, padded or sent in pieces.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/name_resolution_win.h"
#include "net/net_fixture_win.h"
#include "net/url_download_win.h"
#include "fixtures/log_capture.h"

namespace {

using nettest::ServeProcess;

struct Fetched {
  bool ok = false;
  std::string body;
  int body_size = 0;
  bool has_body = false;
  int counter = 0;
};

Fetched Fetch(const std::string& url, int expected = 0, bool small = false) {
  Fetched f;
  std::unique_ptr<char[]> body;
  std::atomic<int> counter(0);
  f.ok = Utility::URLDownload(url.c_str(), expected, small, &body, &f.body_size, &counter);
  f.counter = counter;
  f.has_body = body != nullptr;
  if (body && f.counter > 0) f.body.assign(body.get(), static_cast<size_t>(f.counter));
  return f;
}

std::string SizeURL(const ServeProcess& server) {
  return "http://" + server.Address() + "/as/wapi/get_client_size?client_type=0&xml_format=Y&client=pc";
}

TEST(URLDownload, RequestBytesAsTheServerSeesThem) {
  ServeProcess server;
  ASSERT_TRUE(server.ok());
  Fetched f = Fetch(SizeURL(server) + "&x=a%20b");
  EXPECT_TRUE(f.ok);
  EXPECT_EQ(server.Requests(),
            "GET /as/wapi/get_client_size?client_type=0&xml_format=Y&client=pc&x=a%20b HTTP/1.0\r\n"
            "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/vnd.ms-powerpoint, "
            "application/vnd.ms-excel, application/msword, application/x-shockwave-flash, */*\r\n"
            "Accept-Language: en-us\r\n"
            "Pragma: no-cache\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0; .NET CLR 1.0.3705; .NET CLR 1.1.4322)\r\n"
            "Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n"
            "Connection: Keep-Alive\r\n\r\n");
  EXPECT_EQ(f.body, "<__ClientSize__>0</__ClientSize__>");
}

TEST(URLDownload, HostWithoutPathAsksForTheRootAndNamesTheHost) {
  ServeProcess server;
  ASSERT_TRUE(server.ok());
  Fetched f = Fetch("http://localhost:" + std::to_string(server.port()));
  EXPECT_TRUE(f.ok);  // a 404 page is a reply like any other
  std::string requests = server.Requests();
  EXPECT_EQ(requests.substr(0, 16), "GET / HTTP/1.0\r\n");
  EXPECT_NE(requests.find("Host: localhost:" + std::to_string(server.port()) + "\r\n"), std::string::npos);
}

TEST(URLDownload, PackageInPiecesCountsEveryPiece) {
  kstest::TempDir dir;
  std::string package(100000, '\0');
  for (size_t i = 0; i < package.size(); ++i) package[i] = static_cast<char>(i % 251);
  std::string path = nettest::WriteTextFile(dir, "package.bin", package);
  ServeProcess server({"--package", path, "--piece-bytes", "9000", "--piece-delay-ms", "15"});
  ASSERT_TRUE(server.ok());

  std::unique_ptr<char[]> body;
  int size = 0;
  std::atomic<int> counter(0);
  std::atomic<bool> done(false);
  std::vector<int> seen;
  std::thread watcher([&] {
    while (!done) {
      int value = counter;
      if (seen.empty() || seen.back() != value) seen.push_back(value);
      Sleep(1);
    }
  });
  std::string url = "http://" + server.Address() + "/as/wapi/get_client?client_type=0&client=pc";
  bool ok = Utility::URLDownload(url.c_str(), 100000, true, &body, &size, &counter);
  done = true;
  watcher.join();
  ASSERT_TRUE(ok);
  EXPECT_EQ(size, 100000);
  EXPECT_EQ(std::string(body.get(), 100000), package);
  EXPECT_GE(seen.size(), 5u);  // the counter moved piece by piece, upwards only
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i], seen[i - 1]);
}

TEST(URLDownload, ServerMisbehaviour) {
  kstest::TempDir dir;
  std::string path = nettest::WriteTextFile(dir, "package.bin", std::string(50000, 'p'));
  std::string package_path = "/as/wapi/get_client?client_type=0&client=pc";
  {
    LogCapture log;
    ServeProcess server({"--package", path, "--cut-after", "20000"});
    Fetched f = Fetch("http://" + server.Address() + package_path);
    EXPECT_FALSE(f.ok);
    EXPECT_TRUE(f.has_body);  // the partial body is handed over
    EXPECT_EQ(f.counter, 20000);
    EXPECT_EQ(f.body_size, 50000);
    EXPECT_TRUE(log.HasFragment("recv() iReturn == -1")) << log.Dump();
  }
  {
    // Whether the extra bytes share a receive with the body depends on
    // timing; either way only the announced length is kept.
    ServeProcess server({"--package", path, "--extra-bytes", "7000"});
    Fetched f = Fetch("http://" + server.Address() + package_path);
    EXPECT_TRUE(f.ok);
    EXPECT_EQ(f.counter, 50000);
    EXPECT_EQ(f.body, std::string(50000, 'p'));
  }
  {
    LogCapture log;
    ServeProcess server({"--no-content-length"});
    Fetched f = Fetch(SizeURL(server));
    EXPECT_TRUE(f.ok);
    EXPECT_EQ(f.body, "<__ClientSize__>0</__ClientSize__>");
    EXPECT_TRUE(log.Has("missing Content-Length"));
  }
  {
    ServeProcess server({"--status", "404"});
    Fetched f = Fetch(SizeURL(server));
    EXPECT_TRUE(f.ok);  // the status is not judged here
    EXPECT_EQ(f.body, "status 404\n");
  }
  {
    LogCapture log;
    ServeProcess server({"--close-at-once"});
    EXPECT_FALSE(Fetch(SizeURL(server)).ok);
    EXPECT_TRUE(log.HasFragment("recv() iReturn == -1")) << log.Dump();
  }
}

TEST(URLDownload, FailuresBeforeAnyReply) {
  LogCapture log;
  EXPECT_FALSE(Fetch("http://127.0.0.1:0/p").ok);
  EXPECT_TRUE(log.HasFragment("Failed to parse SERVER_ADDRESS: http://127.0.0.1:0/p, Error Code = "));
  EXPECT_FALSE(Fetch(std::string("http://") + nettest::kUnresolvableHost + ":8889/p").ok);
  EXPECT_TRUE(log.HasFragment("Failed to get IP address for SERVER_ADDRESS: http://kestrel-test.invalid:8889/p"));
  EXPECT_TRUE(log.HasFragment("gethostbyname() failed for kestrel-test.invalid"));
  int refused = nettest::RefusedPort();
  EXPECT_FALSE(Fetch("http://127.0.0.1:" + std::to_string(refused) + "/p").ok);
  EXPECT_TRUE(log.HasFragment("connect() failed, host: 127.0.0.1, error code: 10061")) << log.Dump();
}

TEST(NameResolution, AddressesNamesAndFailures) {
  char address[512];
  EXPECT_TRUE(Utility::GetIPAddressByName("10.0.0.300", address, sizeof address));  // taken as it is
  EXPECT_STREQ(address, "10.0.0.300");
  EXPECT_TRUE(Utility::GetIPAddressByName("localhost", address, sizeof address));
  EXPECT_STREQ(address, "127.0.0.1");
  EXPECT_TRUE(Utility::ResolveHostAddress("localhost", address, sizeof address));
  EXPECT_STREQ(address, "127.0.0.1");
  LogCapture log;
  EXPECT_FALSE(Utility::ResolveHostAddress(nettest::kUnresolvableHost, address, sizeof address));
  EXPECT_STREQ(address, "");
  EXPECT_TRUE(log.HasFragment("gethostbyname() failed for kestrel-test.invalid: Error Code = "));
  char tiny[4];
  EXPECT_FALSE(Utility::GetIPAddressByName("localhost", tiny, sizeof tiny));  // refused, not cut
  EXPECT_STREQ(tiny, "");
}

}  // namespace
