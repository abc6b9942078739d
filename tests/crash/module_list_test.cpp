#include "crash/module_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Collected {
  std::u16string text;
  std::vector<size_t> writes;
  bool fail = false;
};

bool Collect(void* context, const char16_t* text, size_t count) {
  Collected* collected = static_cast<Collected*>(context);
  collected->text.append(text, count);
  collected->writes.push_back(count);
  return !collected->fail;
}

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

void Put32(std::vector<unsigned char>& image, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) image[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// Headers of an image: "MZ", the PE offset at 0x3C, "PE\0\0", file and
// optional headers.
std::vector<unsigned char> FakeImage(bool plus) {
  const uint32_t pe_offset = 0x80;
  std::vector<unsigned char> image(0x200, 0);
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3C, pe_offset);
  memcpy(&image[pe_offset], "PE\0\0", 4);
  size_t file_header = pe_offset + 4;
  Put32(image, file_header + 4, 0x5F5E0FF1);  // time stamp
  size_t optional = file_header + 20;
  image[optional] = 0x0B;
  image[optional + 1] = plus ? 0x02 : 0x01;
  if (plus) {
    Put32(image, optional + 24, 0x40000000);
    Put32(image, optional + 28, 0x00000001);
  } else {
    Put32(image, optional + 28, 0x00400000);
  }
  Put32(image, optional + 56, 0x000AF000);
  Put32(image, optional + 64, 0x000F0852);
  return image;
}

TEST(ReadImageHeaders, ReadsBothHeaderKinds) {
  ImageHeaderFields fields;
  std::vector<unsigned char> image = FakeImage(false);
  ASSERT_TRUE(ReadImageHeaders(image.data(), image.size(), &fields));
  EXPECT_EQ(fields.image_base, 0x00400000u);
  EXPECT_EQ(fields.image_size, 0x000AF000u);
  EXPECT_EQ(fields.checksum, 0x000F0852u);
  EXPECT_EQ(fields.time_stamp, 0x5F5E0FF1u);
  image = FakeImage(true);
  ASSERT_TRUE(ReadImageHeaders(image.data(), image.size(), &fields));
  EXPECT_EQ(fields.image_base, 0x140000000ull);
}

TEST(ReadImageHeaders, RefusesWhatIsNoImageOrReachesPastTheReadableBytes) {
  ImageHeaderFields fields;
  std::vector<unsigned char> image = FakeImage(true);
  EXPECT_FALSE(ReadImageHeaders(image.data(), 0x80 + 4 + 20 + 67, &fields));  // checksum cut off
  EXPECT_TRUE(ReadImageHeaders(image.data(), 0x80 + 4 + 20 + 68, &fields));
  image = FakeImage(true);
  Put32(image, 0x3C, 0xFFFFFFF0u);
  EXPECT_FALSE(ReadImageHeaders(image.data(), image.size(), &fields));  // PE offset far outside
  image = FakeImage(true);
  image[0x81] = 'X';
  EXPECT_FALSE(ReadImageHeaders(image.data(), image.size(), &fields));
  image = FakeImage(true);
  image[1] = 'X';
  EXPECT_FALSE(ReadImageHeaders(image.data(), image.size(), &fields));
  EXPECT_FALSE(ReadImageHeaders(image.data(), 0x3F, &fields));
}

TEST(FormatDosDateTime, SecondsComeInTwoSecondSteps) {
  char text[32];
  // 2021-06-15 14:03:06, as the file-system format keeps 14:03:07.
  uint16_t date = static_cast<uint16_t>(((2021 - 1980) << 9) | (6 << 5) | 15);
  uint16_t time = static_cast<uint16_t>((14 << 11) | (3 << 5) | (7 / 2));
  ASSERT_TRUE(FormatDosDateTime(date, time, text, sizeof text));
  EXPECT_STREQ(text, "6/15/2021 14:03:06");
  EXPECT_FALSE(FormatDosDateTime(date, time, text, 10));
  EXPECT_STREQ(text, "");
}

TEST(ModuleBlock, WritesTheSixLinesAndTheEndLine) {
  Collected out;
  ReportTextBuffer buffer(&Collect, &out);
  std::u16string path = u"C:\\Program Files\\K\\k\u00e9.dll";
  ModuleRecord module;
  module.path = path.c_str();
  module.path_length = path.size();
  module.headers.image_base = 0x10000000;
  module.headers.image_size = 0x2000;
  module.headers.checksum = 0xABCDEF;
  module.headers.time_stamp = 0x1234;
  module.file_size = 123456;
  module.file_time = "6/15/2021 14:03:06";
  AppendModuleBlock(buffer, 1, module);
  module.file_size = 0;
  module.file_time = "";
  module.headers.image_base = 0x7FF612340000ull;
  AppendModuleBlock(buffer, 2, module);
  AppendEndLine(buffer, "ERRORLOG.TXT");
  ASSERT_TRUE(buffer.Flush());
  std::u16string expected =
      u"Module 1\r\n" + path +
      u"\r\nImage Base: 0x10000000  Image Size: 0x00002000\r\n"
      u"Checksum:   0x00abcdef  Time Stamp: 0x00001234\r\n"
      u"File Size:  123456      File Time:  6/15/2021 14:03:06\r\n"
      u"Version Information:\r\n"
      u"Module 2\r\n" +
      path +
      u"\r\nImage Base: 0x7ff612340000  Image Size: 0x00002000\r\n"
      u"Checksum:   0x00abcdef  Time Stamp: 0x00001234\r\n"
      u"File Size:  0           File Time:  \r\n"
      u"Version Information:\r\n"
      u"\r\n===== [end of ERRORLOG.TXT] =====\r\n";
  EXPECT_EQ(out.text, expected) << Narrow(out.text);
}

TEST(ReportTextBuffer, LongTextIsWrittenInPiecesThatJoinUp) {
  Collected out;
  ReportTextBuffer buffer(&Collect, &out);
  std::u16string expected;
  for (int i = 0; i < 40; ++i) {
    std::u16string piece(500, static_cast<char16_t>(u'a' + i % 26));
    buffer.Append(piece.c_str(), piece.size());
    expected += piece;
  }
  std::u16string big(9000, u'Z');  // larger than the whole buffer
  buffer.Append(big.c_str(), big.size());
  expected += big;
  ASSERT_TRUE(buffer.Flush());
  EXPECT_EQ(out.text, expected);
  ASSERT_GE(out.writes.size(), 3u);
  // Pieces are written once more than 7,168 characters are waiting.
  EXPECT_EQ(out.writes[0], 7500u);
  for (size_t count : out.writes) EXPECT_LE(count, big.size());
}

TEST(ReportTextBuffer, AFailedWriteIsReported) {
  Collected out;
  out.fail = true;
  ReportTextBuffer buffer(&Collect, &out);
  buffer.AppendAscii("x");
  EXPECT_FALSE(buffer.Flush());
  ReportTextBuffer nowhere(nullptr, nullptr);
  nowhere.AppendAscii("x");
  EXPECT_FALSE(nowhere.Flush());
}

}  // namespace
