// The starter as a browser, a conference server and a user start it: copies of
// the built program, stamped and linked with kstool, run under their own names.
#include <gtest/gtest.h>

#include <string>

#include "app/app_test_util_win.h"
#include "app/embedded_block.h"
#include "app/meeting_settings.h"
#include "app/parameter_cipher.h"
#include "app/pe_stamp.h"
#include "app/query_map.h"
#include "base/codec.h"
#include "setup/setup_handler_win.h"

namespace {

using apptest::FindMessage;
using apptest::LogMessages;
using apptest::Quote;

const char kStampedSettings[] =
    "<__AccountServerIP__>as.kestrelon.test</__AccountServerIP__>\n"
    "<__AccountServerPort__>443</__AccountServerPort__>\n"
    "<__ClientName__>Fennimo</__ClientName__>\n"
    "<__Version__>5.2</__Version__>\n"
    "<__MeetingId__>m-100</__MeetingId__>\n"
    "<__Role__>attendee</__Role__>\n"
    "<__StarterSid__>sid-42</__StarterSid__>\n"
    "<__MeetingType__>webinar</__MeetingType__>\n";

void ExpectRegistered(const std::string& protocol, const std::string& starter_path) {
  std::string key = "Software\\Classes\\" + protocol;
  EXPECT_EQ(apptest::ReadRegistryText(key, nullptr), "URL:" + protocol + " Starter");
  EXPECT_EQ(apptest::ReadRegistryText(key, L"URL Protocol"), "");
  EXPECT_EQ(apptest::ReadRegistryText(key + "\\shell\\open\\command", nullptr), Quote(starter_path) + " %1");
  EXPECT_EQ(apptest::ReadRegistryNumber("Software\\Microsoft\\Internet Explorer\\ProtocolExecute\\" + protocol,
                                        L"WarnOnOpen"),
            0);
}

void ExpectNotRegistered(const std::string& protocol) {
  EXPECT_EQ(apptest::ReadRegistryText("Software\\Classes\\" + protocol, nullptr), "<missing>");
}

std::string Stamp(const std::string& in, const std::string& settings_file, const std::string& out) {
  kstest::ProcessResult result =
      apptest::RunKstool("stamp " + Quote(in) + " " + Quote(settings_file) + " " + Quote(out));
  EXPECT_TRUE(result.started);
  EXPECT_EQ(result.exit_code, 0u) << result.output;
  return result.output;
}

std::string EmbeddedText(const std::string& path) {
  std::string bytes = kstest::ReadFileOrEmpty(path);
  char text[4096];
  ExtractEmbeddedSettings(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), text, sizeof text);
  return text;
}

TEST(StarterRun, UnstampedWithoutParametersRegistersItsProtocol) {
  std::string protocol = apptest::UniqueName("KsPlain");
  apptest::ProtocolCleanup cleanup(protocol);
  apptest::StarterCopy starter(protocol + "Starter.exe");
  ASSERT_TRUE(starter.copied());

  std::vector<std::string> log = LogMessages(starter.Run());
  ASSERT_FALSE(starter.last().timed_out);
  ASSERT_TRUE(starter.last().started);
  ASSERT_FALSE(log.empty()) << starter.last().output << " exit " << starter.last().exit_code;
  int invalid = FindMessage(log, "Invalid setting");
  int registered = FindMessage(log, "No Meeting Parameter, sClientName = " + protocol);
  EXPECT_GE(invalid, 0);
  EXPECT_GT(registered, invalid);
  EXPECT_GE(FindMessage(log, "sCurrentFilePath = " + starter.Path()), 0);
  ExpectRegistered(protocol, starter.Path());
}

// Without a client name before "Starter" there is no protocol to register
// (an empty one would write the values on Software\Classes itself).
TEST(StarterRun, FileNameWithoutAClientNameRegistersNothing) {
  for (const char* name : {"setup.exe", "Starter.exe"}) {
    SCOPED_TRACE(name);
    apptest::StarterCopy starter(name);
    std::vector<std::string> log = LogMessages(starter.Run());
    EXPECT_GE(FindMessage(log, std::string("invalid sCurrentFileName = ") + name), 0);
    EXPECT_LT(FindMessage(log, "sKey = ", true), 0);
  }
}

TEST(StarterRun, StampedCopyReadsItsBlock) {
  std::string protocol = apptest::UniqueName("KsStamped");
  apptest::ProtocolCleanup cleanup(protocol);
  apptest::StarterCopy starter("original.exe");
  ASSERT_TRUE(starter.copied());
  std::string settings_file = starter.dir().File("settings.txt");
  ASSERT_TRUE(kstest::WriteFile(settings_file, kStampedSettings));
  apptest::StarterCopy stamped(protocol + "Starter.exe");
  Stamp(starter.Path(), settings_file, stamped.Path());

  std::vector<std::string> log = LogMessages(stamped.Run());
  EXPECT_GE(FindMessage(log, "Valid sSetting"), 0);
  EXPECT_LT(FindMessage(log, "Invalid setting"), 0);
  ExpectNotRegistered(protocol);

  // What the starter reads from that file becomes exactly these members.
  std::string text = EmbeddedText(stamped.Path());
  EXPECT_EQ(text, kStampedSettings);
  SetupHandler handler;
  ASSERT_TRUE(handler.ParseSetting(text.c_str()));
  EXPECT_STREQ(handler.m_sAccountServerName, "as.kestrelon.test");
  EXPECT_EQ(handler.m_iAccountServerPort, 443);
  EXPECT_STREQ(handler.m_sClientName, "Fennimo");
  EXPECT_STREQ(handler.m_sVersion, "5.2");
  EXPECT_STREQ(handler.m_sStarterSid, "sid-42");
  EXPECT_STREQ(handler.m_sSetting, kStampedSettings);
}

TEST(StarterRun, CopyStampedTwiceUsesTheLastBlock) {
  apptest::StarterCopy starter("KsTwiceStarter.exe");
  ASSERT_TRUE(starter.copied());
  std::string first = starter.dir().File("first.txt");
  std::string second = starter.dir().File("second.txt");
  ASSERT_TRUE(kstest::WriteFile(first, kStampedSettings));
  ASSERT_TRUE(kstest::WriteFile(second, "<__Role__>host</__Role__>\n<__ClientName__>Quorrel</__ClientName__>\n"));
  std::string once = starter.dir().File("once.exe");
  std::string twice = starter.dir().File("twice.exe");
  Stamp(starter.Path(), first, once);
  Stamp(once, second, twice);
  EXPECT_EQ(EmbeddedText(twice), "<__Role__>host</__Role__>\n<__ClientName__>Quorrel</__ClientName__>\n");

  // A newest block without a role makes the copy invalid even though an
  // older, valid block is still in the file.
  std::string image = kstest::ReadFileOrEmpty(once);
  std::string restamped, error;
  ASSERT_TRUE(StampImage(image, "<__ClientName__>NoRole</__ClientName__>", restamped, error)) << error;
  apptest::StarterCopy invalid("KsInvalidLastStarter.exe");
  ASSERT_TRUE(kstest::WriteFile(invalid.Path(), restamped));
  std::string protocol = "KsInvalidLast";
  apptest::ProtocolCleanup cleanup(protocol);
  std::vector<std::string> log = LogMessages(invalid.Run());
  EXPECT_GE(FindMessage(log, "Invalid setting"), 0);
  EXPECT_GE(FindMessage(log, "No Meeting Parameter, sClientName = KsInvalidLast"), 0);
}

TEST(StarterRun, OversizedBlockIsRefusedAndTheFileNameRuleFollows) {
  apptest::StarterCopy starter("KsHugeStarter.exe");
  std::string image = kstest::ReadFileOrEmpty(starter.Path());
  std::string stamped, error;
  ASSERT_TRUE(StampImage(image, "<__Role__>x</__Role__>" + std::string(5000, 'p'), stamped, error));
  ASSERT_TRUE(kstest::WriteFile(starter.Path(), stamped));
  apptest::ProtocolCleanup cleanup("KsHuge");
  std::vector<std::string> log = LogMessages(starter.Run());
  EXPECT_GE(FindMessage(log, "Settings block refused", true), 0);
  EXPECT_GE(FindMessage(log, "Invalid setting"), 0);
  EXPECT_GE(FindMessage(log, "No Meeting Parameter, sClientName = KsHuge"), 0);
}

std::string QueryWithPlus() {
  std::string query = apptest::QueryWithPlusInCipher(
      "account_server_ip=as.kestrelon.test&port=8443&meeting_id=42&role=host&name=Ann+Lee"
      "&email=ann%40kestrelon.test&client_name=Kestrelon&version=5.2&pass_through=");
  EXPECT_FALSE(query.empty());
  return query;
}

std::string ExpectedSettings(const std::string& query) {
  QueryMap map;
  map.Parse(query.c_str(), '&', true);
  return BuildSettingsTextFromQuery(map);
}

std::string MakeLink(const kstest::TempDir& dir, const std::string& query) {
  std::string file = dir.File("query.txt");
  EXPECT_TRUE(kstest::WriteFile(file, query + "\r\n"));
  kstest::ProcessResult result = apptest::RunKstool("query " + Quote(file));
  EXPECT_EQ(result.exit_code, 0u) << result.output;
  std::string link = result.output;
  while (!link.empty() && (link.back() == '\n' || link.back() == '\r')) link.pop_back();
  return link;
}

TEST(StarterRun, LinkFromKstoolDecodesToTheSettingsText) {
  apptest::StarterCopy starter("KsLinkStarter.exe");
  std::string query = QueryWithPlus();
  std::string link = MakeLink(starter.dir(), query);
  ASSERT_EQ(link.compare(0, 13, "Kestrelon:sp="), 0) << link;
  ASSERT_NE(link.find("%2B"), std::string::npos);

  std::vector<std::string> log = LogMessages(starter.Run(link));
  EXPECT_GE(FindMessage(log, "sSetting = " + ExpectedSettings(query)), 0);
  EXPECT_LT(FindMessage(log, "No URLdecoding", true), 0);
  EXPECT_LT(FindMessage(log, "No Meeting Parameter", true), 0);
}

TEST(StarterRun, LinkWithRawPlusSignsSucceedsOnTheSecondAttempt) {
  apptest::StarterCopy starter("KsRawStarter.exe");
  std::string query = QueryWithPlus();
  std::string link = MakeLink(starter.dir(), query);
  // As a browser may pass it: nothing URL-encoded.
  QueryMap parts;
  parts.Parse(link.substr(link.find(':') + 1).c_str(), '&', true);
  std::string raw = "Kestrelon:sp=" + parts.GetValue("sp") + "&chk=" + parts.GetValue("chk");
  ASSERT_NE(raw.find('+'), std::string::npos);

  std::vector<std::string> log = LogMessages(starter.Run(raw));
  int retry = FindMessage(log, "No URLdecoding: sParameter = " + parts.GetValue("sp"), true);
  int settings = FindMessage(log, "sSetting = " + ExpectedSettings(query));
  EXPECT_GE(retry, 0);
  EXPECT_GT(settings, retry);
}

// A stamped copy: a link that cannot be read does not fall back to the block.
TEST(StarterRun, TamperedChecksumIsRefusedAndTheFileNameRuleFollows) {
  std::string protocol = apptest::UniqueName("KsTamper");
  apptest::ProtocolCleanup cleanup(protocol);
  apptest::StarterCopy starter(protocol + "Starter.exe");
  std::string settings_file = starter.dir().File("settings.txt");
  ASSERT_TRUE(kstest::WriteFile(settings_file, kStampedSettings));
  std::string unstamped = starter.dir().File("unstamped.exe");
  ASSERT_TRUE(kstest::CopyFileTo(starter.Path(), unstamped));
  Stamp(unstamped, settings_file, starter.Path());
  std::string link = MakeLink(starter.dir(), "role=host&meeting_id=7");
  size_t chk = link.find("&chk=") + 5;
  link[chk] = link[chk] == 'A' ? 'B' : 'A';

  std::vector<std::string> log = LogMessages(starter.Run(link));
  int refused = FindMessage(log, "Utility::DecryptQuery() failed.", true);
  EXPECT_GE(refused, 0);
  EXPECT_GE(FindMessage(log, "sCheckSum = ", true), 0);
  EXPECT_GT(FindMessage(log, "No Meeting Parameter, sClientName = " + protocol), refused);
  EXPECT_LT(FindMessage(log, "Valid sSetting"), 0);  // the block is not consulted
  ExpectRegistered(protocol, starter.Path());
}

}  // namespace
