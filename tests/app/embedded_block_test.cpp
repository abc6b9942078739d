#include "app/embedded_block.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/codec.h"

namespace {

const char kSettings[] = "<__AccountServerIP__>as.test</__AccountServerIP__>\n<__Role__>attendee</__Role__>\n";

EmbeddedBlockResult Extract(const std::string& data, std::string* text, size_t capacity = 4096) {
  std::vector<char> buffer(capacity, 'x');
  EmbeddedBlockResult result = ExtractEmbeddedSettings(reinterpret_cast<const unsigned char*>(data.data()),
                                                       data.size(), buffer.data(), capacity);
  *text = buffer.data();
  return result;
}

std::string Program() { return std::string("MZ\0\0code", 8) + std::string(kEmbeddedBlockMarker) + '\0' + "more code"; }

TEST(EmbeddedBlock, UnstampedProgramFindsOnlyItsOwnConstantAndIsInvalid) {
  std::string text = "junk";
  EXPECT_EQ(Extract(Program(), &text), EmbeddedBlockResult::kFound);
  EXPECT_EQ(text, "");
  EXPECT_FALSE(IsValidEmbeddedSettings(text.c_str()));
}

TEST(EmbeddedBlock, NoMarkerAtAll) {
  std::string text;
  EXPECT_EQ(Extract("MZ plain program", &text), EmbeddedBlockResult::kNoMarker);
  EXPECT_EQ(Extract("", &text), EmbeddedBlockResult::kNoMarker);
  EXPECT_EQ(Extract(std::string(kEmbeddedBlockMarker, 41), &text), EmbeddedBlockResult::kNoMarker);
}

TEST(EmbeddedBlock, StampedTextIsReadAndTheLastBlockWins) {
  std::string text;
  std::string once = Program() + BuildEmbeddedBlock(kSettings, 16);
  ASSERT_EQ(Extract(once, &text), EmbeddedBlockResult::kFound);
  EXPECT_EQ(text, kSettings);
  EXPECT_TRUE(IsValidEmbeddedSettings(text.c_str()));

  std::string twice = once + BuildEmbeddedBlock("<__Role__>second</__Role__>", 3);
  ASSERT_EQ(Extract(twice, &text), EmbeddedBlockResult::kFound);
  EXPECT_EQ(text, "<__Role__>second</__Role__>");
}

TEST(EmbeddedBlock, TextBrokenIntoLinesDecodesTheSame) {
  std::string long_settings = kSettings + std::string(300, 'p');
  std::string encoded;
  Utility::Base64Encode(reinterpret_cast<const unsigned char*>(long_settings.data()), long_settings.size(), encoded,
                        true);
  std::string crlf;
  for (char c : encoded) crlf += (c == '\n') ? std::string("\r\n") : std::string(1, c);
  ASSERT_NE(crlf.find("\r\n"), std::string::npos);
  std::string text;
  ASSERT_EQ(Extract(Program() + kEmbeddedBlockMarker + crlf + '\0', &text), EmbeddedBlockResult::kFound);
  EXPECT_EQ(text, long_settings);
}

TEST(EmbeddedBlock, TextRunningToTheEndOfTheFileIsRead) {
  std::string block = BuildEmbeddedBlock(kSettings, 1);
  block.pop_back();  // no zero byte at all
  std::string text;
  ASSERT_EQ(Extract(Program() + block, &text), EmbeddedBlockResult::kFound);
  EXPECT_EQ(text, kSettings);
}

TEST(EmbeddedBlock, BlockOf4096BytesOrMoreIsRefused) {
  std::string text;
  std::string fits(4095, 'a');
  ASSERT_EQ(Extract(Program() + BuildEmbeddedBlock(fits, 1), &text), EmbeddedBlockResult::kFound);
  EXPECT_EQ(text.size(), 4095u);
  text = "junk";
  EXPECT_EQ(Extract(Program() + BuildEmbeddedBlock(std::string(4096, 'a'), 1), &text), EmbeddedBlockResult::kTooLarge);
  EXPECT_EQ(text, "");
}

TEST(EmbeddedBlock, EndlessBase64IsRefusedWithoutOverrun) {
  std::string endless = Program() + kEmbeddedBlockMarker + std::string(16 << 20, 'Q');
  std::string text = "junk";
  EXPECT_EQ(Extract(endless, &text, 64), EmbeddedBlockResult::kTooLarge);
  EXPECT_EQ(text, "");
  // Garbage that decodes to little stays within a tiny buffer too.
  EXPECT_EQ(Extract(Program() + kEmbeddedBlockMarker + "====" + '\0', &text, 2), EmbeddedBlockResult::kFound);
}

}  // namespace
