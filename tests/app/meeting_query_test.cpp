#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/meeting_settings.h"
#include "app/parameter_cipher.h"
#include "app/query_map.h"
#include "base/codec.h"

namespace {

const char kKey[] = "&71%^!K458qq6";

std::string Decode(const std::string& base64) {
  std::vector<char> buffer(base64.begin(), base64.end());
  buffer.push_back('\0');
  Utility::DecodeParameter(buffer.data());
  return buffer.data();
}

std::string Base64(const std::string& bytes) {
  std::string out;
  Utility::Base64Encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out, false);
  return out;
}

TEST(QueryMap, SkipsEmptyKeylessAndValuelessSegments) {
  QueryMap map;
  map.Parse("&&sp=x&=y&novalue", '&', true);
  EXPECT_EQ(map.Size(), 1u);
  EXPECT_EQ(map.GetValue("sp"), "x");
  EXPECT_EQ(map.GetValue("novalue"), "");
  EXPECT_EQ(map.GetValue(""), "");
}

TEST(QueryMap, ValueKeepsFurtherEqualsSignsAndMayBeEmpty) {
  QueryMap map;
  map.Parse("sp=a=b&empty=", '&', false);
  EXPECT_EQ(map.GetValue("sp"), "a=b");
  EXPECT_EQ(map.Size(), 2u);
  EXPECT_EQ(map.GetValue("empty"), "");
}

TEST(QueryMap, LastOccurrenceWinsAndKeysAreCaseSensitive) {
  QueryMap map;
  map.Parse("sp=first&SP=upper&sp=second", '&', false);
  EXPECT_EQ(map.GetValue("sp"), "second");
  EXPECT_EQ(map.GetValue("SP"), "upper");
}

TEST(QueryMap, UrlDecodingAppliesToKeysAndValuesOnlyWhenAsked) {
  QueryMap decoded;
  decoded.Parse("na%6De=A+B%26C&x=%2B", '&', true);
  EXPECT_EQ(decoded.GetValue("name"), "A B&C");
  EXPECT_EQ(decoded.GetValue("x"), "+");
  QueryMap raw;
  raw.Parse("sp=ab+c%2B", '&', false);
  EXPECT_EQ(raw.GetValue("sp"), "ab+c%2B");
}

TEST(QueryMap, KeyLengthLimitIs511) {
  std::string at_limit(511, 'k');
  std::string past_limit(512, 'k');
  QueryMap map;
  map.Parse((at_limit + "=1&" + past_limit + "=2").c_str(), '&', true);
  EXPECT_EQ(map.GetValue(at_limit.c_str()), "1");
  EXPECT_EQ(map.GetValue(past_limit.c_str()), "");
  EXPECT_EQ(map.Size(), 1u);
}

TEST(QueryMap, HostileInputsStayBounded) {
  std::string many;
  for (int i = 0; i < 100000; ++i) many += "k" + std::to_string(i % 1000) + "=v" + std::to_string(i) + "&";
  QueryMap map;
  map.Parse(many.c_str(), '&', true);
  EXPECT_EQ(map.Size(), 1000u);
  EXPECT_EQ(map.GetValue("k999"), "v99999");

  QueryMap separators;
  separators.Parse(std::string(100000, '&').c_str(), '&', true);
  EXPECT_EQ(separators.Size(), 0u);

  QueryMap long_value;
  std::string value(1 << 20, '%');
  long_value.Parse(("v=" + value).c_str(), '&', true);
  EXPECT_EQ(long_value.GetValue("v").size(), value.size());
}

TEST(DecodeParameter, CombinesThirteenBytesPassesTheFourteenthAndNeverTheLast) {
  const size_t n = 30;
  std::string bytes(n, '\x80');
  std::string plain = Decode(Base64(bytes));
  ASSERT_EQ(plain.size(), n);
  // Positions 13 and 27 are passed over, 29 is the last byte.
  for (size_t i = 0; i < n; ++i) {
    char expected;
    if (i == 13 || i == 27 || i == 29)
      expected = '\x80';
    else
      expected = static_cast<char>(0x80 ^ static_cast<unsigned char>(kKey[(i < 13 ? i : i < 27 ? i - 14 : i - 28)]));
    EXPECT_EQ(plain[i], expected) << "position " << i;
  }
}

TEST(DecodeParameter, EmptyAndShortTexts) {
  EXPECT_EQ(Decode(""), "");
  EXPECT_EQ(Decode(Base64("Z")), "Z");  // a single byte is the last byte: unchanged
  EXPECT_EQ(Decode("ab"), "");          // too short for one Base64 group
}

TEST(DecodeParameter, StopsAtTheFirstZeroByte) {
  std::string bytes = "abc";
  bytes += static_cast<char>(kKey[3]);  // deciphers to a zero byte
  bytes += "rest";
  EXPECT_EQ(Decode(Base64(bytes)).size(), 3u);
}

TEST(EncodeParameter, IsTheInverseOfDecodeParameter) {
  for (size_t length : {1u, 2u, 13u, 14u, 15u, 27u, 28u, 29u, 100u, 3000u}) {
    std::string plain;
    for (size_t i = 0; i < length; ++i) plain += static_cast<char>('a' + i % 26);
    EXPECT_EQ(Decode(Utility::EncodeParameter(plain)), plain) << length;
  }
}

TEST(DecodeParameter, HostileTextsNeverOverrun) {
  std::string junk(1 << 20, '/');
  std::string text = Decode(junk);
  EXPECT_LE(text.size(), junk.size());
  EXPECT_LE(Decode("====\r\n\r\n====").size(), 2u);
}

std::string Field(const char* name, const char* value) {
  return std::string("<__") + name + "__>" + value + "</__" + name + "__>";
}

TEST(BuildSettingsTextFromQuery, FieldsInOrderSharedKeysAndYesNoDefaults) {
  QueryMap map;
  map.Parse("role=host&email=a%40b.test&publisher_url=http%3A%2F%2Fp&publisher_name=P&port=443", '&', true);
  std::string text = BuildSettingsTextFromQuery(map);
  std::string expected = Field("AccountServerIP", "") + Field("AccountServerPort", "443") +
                         Field("MeetingPassword", "") + Field("MeetingId", "") + Field("Role", "host") +
                         Field("Version", "") + Field("Publisher", "P") + Field("AboutURL", "http://p") +
                         Field("AttendeeName", "") + Field("Email", "a@b.test") + Field("AttendeeEmail", "a@b.test") +
                         Field("UserPassword", "") + Field("PassThrough", "") + Field("ClientName", "") +
                         Field("PublisherURL", "http://p") + Field("PublisherName", "P") + Field("OEMId", "") +
                         Field("OEMCompanyName", "") + Field("OEMCompanyURL", "") + Field("PoweredByFieldName", "") +
                         Field("MainIcon", "") + Field("MinorIcon", "") + Field("LoginTitle", "") +
                         Field("IsPanelist", "") + Field("ClientHideServerAddress", "N") +
                         Field("RecognizeManufacturer", "Y");
  EXPECT_EQ(text, expected);
  EXPECT_EQ(text.find("StarterSid"), std::string::npos);
}

TEST(BuildSettingsTextFromQuery, YesNoFieldsTakeOnlyTheExactValue) {
  QueryMap set;
  set.Parse("client_hide_server_address=Y&recognize_manufacturer=N", '&', false);
  std::string text = BuildSettingsTextFromQuery(set);
  EXPECT_NE(text.find(Field("ClientHideServerAddress", "Y")), std::string::npos);
  EXPECT_NE(text.find(Field("RecognizeManufacturer", "N")), std::string::npos);

  QueryMap lower;
  lower.Parse("client_hide_server_address=y&recognize_manufacturer=n", '&', false);
  text = BuildSettingsTextFromQuery(lower);
  EXPECT_NE(text.find(Field("ClientHideServerAddress", "N")), std::string::npos);
  EXPECT_NE(text.find(Field("RecognizeManufacturer", "Y")), std::string::npos);
}

}  // namespace
