#include "base/codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::string Decode(const std::string& text) {
  long long n = Utility::Base64Decode(text.data(), text.size(), nullptr, 0);
  std::string out(static_cast<size_t>(n < 0 ? 0 : n), '\0');
  long long m = Utility::Base64Decode(text.data(), text.size(), reinterpret_cast<unsigned char*>(&out[0]),
                                      out.size());
  EXPECT_EQ(n, m);
  return out;
}

std::string Encode(const std::string& bytes, bool lines = false) {
  std::string out;
  Utility::Base64Encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out, lines);
  return out;
}

TEST(URLCoding, DecodesPercentAndPlusAndKeepsInvalidEscapes) {
  EXPECT_EQ(Utility::URLDecode("a+b%41%4a%zz"), "a bAJ%zz");
  EXPECT_EQ(Utility::URLDecode("%"), "%");
  EXPECT_EQ(Utility::URLDecode("%4"), "%4");
  EXPECT_EQ(Utility::URLDecode("x%4"), "x%4");
  EXPECT_EQ(Utility::URLDecode("%41"), "A");
  EXPECT_EQ(Utility::URLDecode("%00x").size(), 2u);  // a decoded zero byte is kept
}

TEST(URLCoding, EncodesEverythingButUnreservedBytes) {
  EXPECT_EQ(Utility::URLEncode("a b/~"), "a+b%2F%7E");
  EXPECT_EQ(Utility::URLEncode("AZaz09-_."), "AZaz09-_.");
  EXPECT_EQ(Utility::URLEncode("\n&=+\xC3\xA9"), "%0A%26%3D%2B%C3%A9");
}

TEST(URLCoding, RoundTripsEveryByte) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(Utility::URLDecode(Utility::URLEncode(all.c_str()).c_str()), all);
}

TEST(Base64, EncodesWithPaddingAndLineBreaksEvery76Characters) {
  EXPECT_EQ(Encode(""), "");
  EXPECT_EQ(Encode("f"), "Zg==");
  EXPECT_EQ(Encode("fo"), "Zm8=");
  EXPECT_EQ(Encode("foo"), "Zm9v");
  std::string bytes(57 * 2 + 1, 'x');  // 57 bytes make exactly one 76-character line
  std::string lined = Encode(bytes, true);
  ASSERT_EQ(lined.size(), 76u + 1 + 76 + 1 + 4);
  EXPECT_EQ(lined[76], '\n');
  EXPECT_EQ(lined[153], '\n');
  EXPECT_EQ(lined.back(), '=');
  std::string exact(57, 'y');  // no line break at the end
  EXPECT_EQ(Encode(exact, true).find('\n'), std::string::npos);
}

TEST(Base64, DecodesAcrossCrLfLineBreaksLikeTheUnbrokenText) {
  std::string bytes;
  for (int i = 0; i < 500; ++i) bytes += static_cast<char>(i * 7);
  std::string plain = Encode(bytes);
  std::string broken;
  for (size_t i = 0; i < plain.size(); i += 76) broken += plain.substr(i, 76) + "\r\n";
  EXPECT_EQ(Decode(plain), bytes);
  EXPECT_EQ(Decode(broken), bytes);
  EXPECT_EQ(Decode(Encode(bytes, true)), bytes);
}

TEST(Base64, ShortLastGroupIsIgnoredAndForeignCharactersCountAsZero) {
  EXPECT_EQ(Decode("Zm9vYg"), "foo");
  EXPECT_EQ(Decode("Zm9"), "");
  EXPECT_EQ(Decode("AA!A"), std::string(3, '\0'));
}

TEST(Base64, NeverWritesPastTheOutputCapacity) {
  unsigned char out[4];
  memset(out, 0xEE, sizeof out);
  EXPECT_EQ(Utility::Base64Decode("Zm9vYmFy", out, 3), -1);
  EXPECT_EQ(Utility::Base64Decode("Zm9vYmFy", out, 6 - 3), -1);
  EXPECT_EQ(Utility::Base64Decode("Zm9v", out, 3), 3);
  EXPECT_EQ(out[3], 0xEE);
}

TEST(Base64, RandomRoundTrips) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    std::string bytes(random() % 300, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    EXPECT_EQ(Decode(Encode(bytes, round % 2 == 0)), bytes);
  }
}

TEST(FindLastPattern, FindsTheLastOccurrence) {
  const unsigned char data[] = "abcXYabcXYab";
  const unsigned char pattern[] = "XY";
  EXPECT_EQ(Utility::FindLastPattern(pattern, 2, data, 12), 8);
  EXPECT_EQ(Utility::FindLastPattern(pattern, 2, data, 9), 3);
  EXPECT_EQ(Utility::FindLastPattern(data, 12, data, 12), 0);
  EXPECT_EQ(Utility::FindLastPattern(pattern, 2, data, 1), -1);
  const unsigned char absent[] = "QQ";
  EXPECT_EQ(Utility::FindLastPattern(absent, 2, data, 12), -1);
  EXPECT_EQ(Utility::FindLastPattern(pattern, 0, data, 12), -1);
}

}  // namespace
