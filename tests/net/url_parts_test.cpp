#include "net/url_parts.h"

#include <gtest/gtest.h>

#include <string>

#include "net/socket_request.h"

namespace {

struct Parsed {
  bool ok;
  std::string host;
  int port;
  std::string path;
};

Parsed Parse(const std::string& url) {
  char host[4096];
  char path[4096];
  Parsed p;
  p.port = -1;
  p.ok = Utility::ParseServerAddress(url.c_str(), host, sizeof host, &p.port, path, sizeof path);
  p.host = host;
  p.path = path;
  return p;
}

TEST(ParseServerAddress, SchemePortAndPath) {
  Parsed p = Parse("https://as.example/as/wapi/get_client?client=pc");
  EXPECT_TRUE(p.ok);
  EXPECT_EQ(p.host, "as.example");
  EXPECT_EQ(p.port, 443);
  EXPECT_EQ(p.path, "/as/wapi/get_client?client=pc");

  EXPECT_EQ(Parse("HTTPS://h/x").port, 443);
  EXPECT_EQ(Parse("http://h/x").port, 80);
  p = Parse("http://h:8080");
  EXPECT_TRUE(p.ok);
  EXPECT_EQ(p.port, 8080);
  EXPECT_EQ(p.path, "");
  EXPECT_EQ(Parse("h:8889/p").host, "h");  // no scheme: the whole text is worked on
  EXPECT_EQ(Parse("http://h:8080abc/p").port, 8080);  // read as atoi does
}

TEST(ParseServerAddress, SpaceEndsTheUrl) {
  Parsed p = Parse("http://h:81/a b/c");
  EXPECT_TRUE(p.ok);
  EXPECT_EQ(p.path, "/a");
}

TEST(ParseServerAddress, BadPortsAndOverlongPartsFail) {
  EXPECT_FALSE(Parse("http://h:0/p").ok);
  EXPECT_FALSE(Parse("http://h:abc/p").ok);
  EXPECT_FALSE(Parse("http://h:-5/p").ok);
  EXPECT_FALSE(Parse("http://h:65536/p").ok);
  EXPECT_TRUE(Parse("http://h:65535/p").ok);
  EXPECT_FALSE(Parse(std::string(31, 's') + "://h/p").ok);  // 32 with the colon
  EXPECT_TRUE(Parse(std::string(30, 's') + "://h/p").ok);
  EXPECT_FALSE(Parse("http://h/" + std::string(4100, 'p')).ok);
  Parsed p = Parse("http://h:0/p");
  EXPECT_EQ(p.host, "");
  char small[4];
  char path[64];
  int port = 0;
  EXPECT_FALSE(Utility::ParseServerAddress("http://host/p", small, sizeof small, &port, path, sizeof path));
  EXPECT_STREQ(small, "");
}

TEST(LogFormOfURL, CutsTheQueryOrItsEncodedForm) {
  EXPECT_EQ(ksnet::LogFormOfURL("/as/wapi/ssi?sid=secret"), "/as/wapi/ssi");
  EXPECT_EQ(ksnet::LogFormOfURL("/a%3Fsid=secret?x"), "/a%3Fsid=secret");
  EXPECT_EQ(ksnet::LogFormOfURL("/a%3Fsid=secret"), "/a");
  EXPECT_EQ(ksnet::LogFormOfURL("/plain"), "/plain");
  EXPECT_EQ(ksnet::LogFormOfURL(("/" + std::string(600, 'x')).c_str()).size(), 511u);
}

TEST(AddCacheBuster, AppendsToAnExistingQueryOrStartsOne) {
  std::string out;
  ASSERT_TRUE(ksnet::AddCacheBuster("/p?a=1", 1700000000L, &out));
  EXPECT_EQ(out, "/p?a=1&rdm=1700000000");
  ASSERT_TRUE(ksnet::AddCacheBuster("/p", 5L, &out));
  EXPECT_EQ(out, "/p?rdm=5");
  EXPECT_FALSE(ksnet::AddCacheBuster(("/" + std::string(4090, 'x')).c_str(), 5L, &out));
}

TEST(SocketFetchURL, TlsPortsBecomePlainPort80) {
  int used = 0;
  EXPECT_EQ(ksnet::SocketFetchURL("h", 443, "/p?q", &used), "http://h/p?q");
  EXPECT_EQ(used, 80);
  EXPECT_EQ(ksnet::SocketFetchURL("h", 80, "/p", &used), "http://h/p");
  EXPECT_EQ(used, 80);
  EXPECT_EQ(ksnet::SocketFetchURL("h", 8889, "/p", &used), "http://h:8889/p");
  EXPECT_EQ(used, 8889);
}

TEST(BuildSocketRequest, ExactBytes) {
  EXPECT_EQ(ksnet::BuildSocketRequest("as.example", 80, "/as/wapi/get_client?client_type=0&client=pc"),
            "GET /as/wapi/get_client?client_type=0&client=pc HTTP/1.0\r\n"
            "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/vnd.ms-powerpoint, "
            "application/vnd.ms-excel, application/msword, application/x-shockwave-flash, */*\r\n"
            "Accept-Language: en-us\r\n"
            "Pragma: no-cache\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0; .NET CLR 1.0.3705; .NET CLR 1.1.4322)\r\n"
            "Host: as.example:80\r\n"
            "Connection: Keep-Alive\r\n\r\n");
  EXPECT_EQ(ksnet::BuildSocketRequest("h", 8889, "").substr(0, 16), "GET / HTTP/1.0\r\n");
}

}  // namespace
