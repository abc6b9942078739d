#include <gtest/gtest.h>

#include <string>

#include "app/meeting_settings.h"
#include "app/parameter_cipher.h"
#include "app/query_decoding_win.h"
#include "app/query_map.h"
#include "base/codec.h"
#include "setup/setup_handler_win.h"
#include "fixtures/log_capture.h"

namespace {

TEST(GetSHA1CheckSum, KnownDigests) {
  EXPECT_EQ(Utility::GetSHA1CheckSum("abc"), "qZk+NkcGgWq6PiVxeFDCbJzQ2J0=");
  EXPECT_EQ(Utility::GetSHA1CheckSum(""), "2jmj7l5rSw0yVb/vlWAYkK/YBwk=");
  EXPECT_EQ(Utility::GetSHA1CheckSum(std::string(1000000, 'a').c_str()), "NKqXPNTE2qT2Husr260nMWU0AW8=");
}

TEST(DecryptQuery, MatchingChecksumFillsTheMapWithDecodedPairs) {
  std::string inner = "role=host&name=Ann+Lee&email=a%40b.test";
  QueryMap map;
  EXPECT_TRUE(Utility::DecryptQuery(Utility::EncodeParameter(inner).c_str(),
                                    Utility::GetSHA1CheckSum(inner.c_str()).c_str(), map));
  EXPECT_EQ(map.GetValue("name"), "Ann Lee");
  EXPECT_EQ(map.GetValue("email"), "a@b.test");
}

TEST(DecryptQuery, ChecksumDifferingOnlyInCaseIsRefusedAndLogged) {
  std::string inner = "role=host";
  std::string checksum = Utility::GetSHA1CheckSum(inner.c_str());
  std::string changed = checksum;
  for (char& c : changed) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
      break;
    }
  }
  ASSERT_NE(changed, checksum);
  LogCapture log;
  QueryMap map;
  EXPECT_FALSE(Utility::DecryptQuery(Utility::EncodeParameter(inner).c_str(), changed.c_str(), map));
  EXPECT_EQ(map.Size(), 0u);
  EXPECT_TRUE(log.Has("sCheckSum = " + changed + ", sMySHA1CheckSum = " + checksum)) << log.Dump();
}

TEST(DecryptQuery, ParameterTooLongForTheBufferIsRefused) {
  std::string inner = "role=" + std::string(3100, 'x');
  std::string parameter = Utility::EncodeParameter(inner);
  ASSERT_GT(parameter.size(), 4095u);
  QueryMap map;
  EXPECT_FALSE(Utility::DecryptQuery(parameter.c_str(), Utility::GetSHA1CheckSum(inner.c_str()).c_str(), map));
}

struct Decoded {
  bool ok;
  std::string settings;
  bool started_with_parameter;
};

Decoded DecodeCommandLine(const std::string& command_line) {
  SetupHandler handler;
  ks::CopyText(handler.m_sCommandLine, sizeof handler.m_sCommandLine, command_line.c_str());
  char settings[SetupHandler::kSettingsTextSize] = "junk";
  bool ok = handler.DecodeMeetingQuery(settings);
  return Decoded{ok, settings, handler.m_bStartedWithParameter};
}

std::string Link(const std::string& inner, bool encoded = true) {
  std::string sp = Utility::EncodeParameter(inner);
  std::string chk = Utility::GetSHA1CheckSum(inner.c_str());
  if (encoded) return "Kestrelon:sp=" + Utility::URLEncode(sp.c_str()) + "&chk=" + Utility::URLEncode(chk.c_str());
  return "Kestrelon:sp=" + sp + "&chk=" + chk;
}

TEST(DecodeMeetingQuery, CommandLineWithoutColonLeavesNoSettings) {
  LogCapture log;
  Decoded d = DecodeCommandLine("--called_by_downloader");
  EXPECT_FALSE(d.ok);
  EXPECT_EQ(d.settings, "");
  EXPECT_TRUE(d.started_with_parameter);
  EXPECT_TRUE(log.Has("Missing :, invalid m_sCommandLine = --called_by_downloader"));
}

TEST(DecodeMeetingQuery, SecondSpWinsAndOnlyTextAfterTheFirstColonCounts) {
  std::string inner = "role=host&meeting_id=9";
  std::string link = Link(inner);
  std::string with_decoy = "Kestrelon:sp=decoy&" + link.substr(10);  // both sp keys, the real one last
  QueryMap map;
  map.Parse(inner.c_str(), '&', true);
  Decoded d = DecodeCommandLine(with_decoy);
  EXPECT_TRUE(d.ok);
  EXPECT_EQ(d.settings, BuildSettingsTextFromQuery(map));
}

TEST(DecodeMeetingQuery, BothAttemptsFailingLeaveNoSettings) {
  LogCapture log;
  Decoded d = DecodeCommandLine("Kestrelon:sp=abcd&chk=wrong");
  EXPECT_FALSE(d.ok);
  EXPECT_EQ(d.settings, "");
  EXPECT_TRUE(log.Has("Utility::DecryptQuery() failed. sParameter = abcd, sCheckSum = wrong")) << log.Dump();
  EXPECT_FALSE(DecodeCommandLine("Kestrelon:").ok);
}

TEST(DecodeMeetingQuery, SettingsTooLongToKeepOrWithZeroBytesAreRefused) {
  LogCapture log;
  Decoded big = DecodeCommandLine(Link("role=host&pass_through=" + std::string(1500, 'p')));
  EXPECT_FALSE(big.ok);
  EXPECT_EQ(big.settings, "");
  EXPECT_TRUE(log.HasFragment("Refused sSetting")) << log.Dump();

  Decoded zero = DecodeCommandLine(Link("role=host&name=a%00b"));
  EXPECT_FALSE(zero.ok);
  EXPECT_EQ(zero.settings, "");
}

TEST(DecodeMeetingQuery, HugeHostileCommandLinesNeverCrash) {
  std::string segments = "Kestrelon:";
  while (segments.size() < 4000) segments += "a=b&";
  EXPECT_FALSE(DecodeCommandLine(segments).ok);
  EXPECT_FALSE(DecodeCommandLine("Kestrelon:sp=" + std::string(4000, '+') + "&chk=x").ok);
}

}  // namespace
