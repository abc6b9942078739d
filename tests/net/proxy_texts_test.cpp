#include <gtest/gtest.h>

#include <string>

#include "net/account_server_api.h"
#include "net/cache_file_text.h"
#include "net/detect_target.h"
#include "net/dotted_address.h"
#include "net/piece_sizer.h"
#include "net/proxy_list.h"

namespace {

using ksnet::ProxyEntryKind;

TEST(ParseProxyList, EntriesInScriptOrder) {
  auto entries = ksnet::ParseProxyList("PROXY a:1;  PROXY b:2; DIRECT;SOCKS s:3;proxy c:4;");
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0].kind, ProxyEntryKind::kProxy);
  EXPECT_EQ(entries[0].address, "a:1");
  EXPECT_EQ(entries[1].address, "b:2");  // spaces before an entry are skipped
  EXPECT_EQ(entries[2].kind, ProxyEntryKind::kDirect);
  EXPECT_EQ(entries[3].kind, ProxyEntryKind::kSocks);
  EXPECT_EQ(entries[3].address, "socks=s:3");
  EXPECT_EQ(entries[4].kind, ProxyEntryKind::kOther);  // keywords are case-sensitive
}

TEST(ParseProxyList, OverlongEntriesAreMarkedNotCut) {
  std::string host(60, 'h');
  auto entries = ksnet::ParseProxyList(("PROXY " + host + ":1; PROXY ok:2").c_str());
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].kind, ProxyEntryKind::kTooLong);
  EXPECT_EQ(entries[1].address, "ok:2");
  std::string exact = "PROXY " + std::string(57, 'h');  // 63 characters
  EXPECT_EQ(ksnet::ParseProxyList(exact.c_str())[0].kind, ProxyEntryKind::kProxy);
}

TEST(ProxyServerElement, CutAtTheNextSemicolon) {
  std::string element;
  const char* list = "http=h:1;https=s:2;socks=k:3";
  EXPECT_EQ(ksnet::ProxyServerElement(list, "https=", &element), ksnet::ElementOutcome::kFound);
  EXPECT_EQ(element, "https=s:2");
  EXPECT_EQ(ksnet::ProxyServerElement(list, "socks=", &element), ksnet::ElementOutcome::kFound);
  EXPECT_EQ(element, "socks=k:3");
  EXPECT_EQ(ksnet::ProxyServerElement("http=h:1", "https=", &element), ksnet::ElementOutcome::kAbsent);
  EXPECT_EQ(ksnet::ProxyServerElement(("https=" + std::string(58, 'x')).c_str(), "https=", &element),
            ksnet::ElementOutcome::kTooLong);
}

TEST(BuildDetectTarget, SchemeAndPortForms) {
  ksnet::DetectTarget t = ksnet::BuildDetectTarget("as.test", 80, "/p?q");
  EXPECT_EQ(t.query_url, "http://as.test/p?q");
  EXPECT_EQ(t.host_text, "http://as.test");
  t = ksnet::BuildDetectTarget("as.test", 443, "/p");
  EXPECT_EQ(t.query_url, "https://as.test/p");
  EXPECT_EQ(t.host_text, "https://as.test");
  t = ksnet::BuildDetectTarget("as.test", 8889, "/p");
  EXPECT_EQ(t.query_url, "http://as.test:8889/p");
  EXPECT_EQ(t.host_text, "http://as.test:8889");
  EXPECT_FALSE(t.maker_domain);
}

TEST(BuildDetectTarget, MakerDomainsAskAboutTheProbeSite) {
  ksnet::DetectTarget t = ksnet::BuildDetectTarget("eu1.kestrelon-meet.example", 8889, "/as/wapi/get_client");
  EXPECT_TRUE(t.maker_domain);
  EXPECT_EQ(t.host_text, "https://www.kestrelon-probe.example");
  EXPECT_EQ(t.query_url, "https://www.kestrelon-probe.example/as/wapi/get_client");
}

TEST(LooksLikeDottedAddress, FourPiecesWithANumberFirst) {
  EXPECT_TRUE(ksnet::LooksLikeDottedAddress("127.0.0.1"));
  EXPECT_TRUE(ksnet::LooksLikeDottedAddress("10..0.1"));  // empty pieces count
  EXPECT_FALSE(ksnet::LooksLikeDottedAddress("127.0.1"));
  EXPECT_FALSE(ksnet::LooksLikeDottedAddress("0.1.2.3"));
  EXPECT_FALSE(ksnet::LooksLikeDottedAddress("www.a.b.c"));
  EXPECT_FALSE(ksnet::LooksLikeDottedAddress("localhost"));
}

TEST(CacheFileText, CutAfterTheClosingTag) {
  EXPECT_EQ(ksnet::CutAfterCacheEnd("<__CACHE__>x</__CACHE__>\ntrailing"), "<__CACHE__>x</__CACHE__>");
  EXPECT_EQ(ksnet::CutAfterCacheEnd("no end"), "no end");
  EXPECT_EQ(ksnet::InitialCacheFileText(),
            "<__CACHE__>\n<__SERVER_ACCESS_SETTING1__></__SERVER_ACCESS_SETTING1__>\n</__CACHE__>");
}

TEST(CacheFileText, RewriteReplacesTheFieldAndDropsWhatFollowsTheCache) {
  std::string updated = "untouched";
  ASSERT_TRUE(ksnet::RewriteCacheField(
      "<__CACHE__>\r\n<__SERVER_ACCESS_SETTING1__>old</__SERVER_ACCESS_SETTING1__>\r\n</__CACHE__>\r\njunk",
      ksnet::kServerAccessOpeningTag, ksnet::kServerAccessClosingTag, "h\t443", updated));
  EXPECT_EQ(updated, "<__CACHE__>\r\n<__SERVER_ACCESS_SETTING1__>h\t443</__SERVER_ACCESS_SETTING1__>\r\n</__CACHE__>");
  // A file without the field (or without its closing tag) is not rewritten.
  EXPECT_FALSE(ksnet::RewriteCacheField("<__CACHE__>\n<__SERVER_ACCESS_SETTING1__>x", ksnet::kServerAccessOpeningTag,
                                        ksnet::kServerAccessClosingTag, "v", updated));
  EXPECT_FALSE(ksnet::RewriteCacheField("", ksnet::kServerAccessOpeningTag, ksnet::kServerAccessClosingTag, "v",
                                        updated));
  EXPECT_EQ(updated, "<__CACHE__>\r\n<__SERVER_ACCESS_SETTING1__>h\t443</__SERVER_ACCESS_SETTING1__>\r\n</__CACHE__>");
}

TEST(CacheFileText, AValueTheCutOrTheNextReadWouldLoseIsNotWritten) {
  std::string updated = "untouched";
  // A damaged file whose cache ends before the field.
  EXPECT_FALSE(ksnet::RewriteCacheField("<__CACHE__></__CACHE__><__SERVER_ACCESS_SETTING1__></__SERVER_ACCESS_SETTING1__>",
                                        ksnet::kServerAccessOpeningTag, ksnet::kServerAccessClosingTag, "v", updated));
  // A value that holds the field's own closing tag.
  EXPECT_FALSE(ksnet::RewriteCacheField(ksnet::InitialCacheFileText(), ksnet::kServerAccessOpeningTag,
                                        ksnet::kServerAccessClosingTag, "a</__SERVER_ACCESS_SETTING1__>b", updated));
  EXPECT_EQ(updated, "untouched");
  // A bypass list such as "<local>" is an ordinary value.
  ASSERT_TRUE(ksnet::RewriteCacheField(ksnet::InitialCacheFileText(), ksnet::kServerAccessOpeningTag,
                                       ksnet::kServerAccessClosingTag, "h\t<local>", updated));
}

TEST(AccountServer, RequestTexts) {
  EXPECT_EQ(AccountServer::ClientSizeRequest(), "/as/wapi/get_client_size?client_type=0&xml_format=Y&client=pc");
  EXPECT_EQ(AccountServer::ClientRequest(), "/as/wapi/get_client?client_type=0&client=pc");
  EXPECT_EQ(AccountServer::InstallationReportRequest("s1%2B"), "/as/wapi/ssi?sid=s1%2B");
}

TEST(PieceSizer, GrowsOnFastReadsAndShrinksOnSlowOnes) {
  ksnet::PieceSizer sizer(14336, 4 * 1024 * 1024);
  EXPECT_EQ(sizer.size(), 14336);
  for (int i = 0; i < 20; ++i) sizer.Record(0.5);
  EXPECT_LE(sizer.size(), 4 * 1024 * 1024);
  EXPECT_GT(sizer.size(), 2 * 1024 * 1024);
  for (int i = 0; i < 20; ++i) sizer.Record(100.0);
  EXPECT_EQ(sizer.size(), 14336);
  sizer.Record(15.0);  // in between: stays
  EXPECT_EQ(sizer.size(), 14336);
}

}  // namespace
