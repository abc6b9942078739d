#include "base/tag_field.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Read(const char* text, const char* name, size_t capacity = 512, bool* found = nullptr) {
  char out[1024];
  std::string open = Utility::OpeningTag(name), close = Utility::ClosingTag(name);
  bool ok = Utility::GetTagValue(text, open.c_str(), close.c_str(), out, capacity);
  if (found) *found = ok;
  return ok ? std::string(out) : std::string("<none:") + out + ">";
}

TEST(GetTagValue, ReadsValuesIncludingEmptyAndMultiLine) {
  EXPECT_EQ(Read("<__A__>x</__A__>", "A"), "x");
  EXPECT_EQ(Read("<__A__></__A__>", "A"), "");
  EXPECT_EQ(Read("pre<__A__>line1\r\nline2\n</__A__>post", "A"), "line1\r\nline2\n");
  EXPECT_EQ(Read("<__A__> spaced </__A__>", "A"), " spaced ");
}

TEST(GetTagValue, FirstOccurrenceWins) {
  EXPECT_EQ(Read("<__A__>1</__A__><__A__>2</__A__>", "A"), "1");
}

TEST(GetTagValue, MissingOrMisplacedTagsGiveFalseAndEmptyOutput) {
  EXPECT_EQ(Read("<__A__>x", "A"), "<none:>");
  EXPECT_EQ(Read("</__A__>x<__A__>", "A"), "<none:>");
  EXPECT_EQ(Read("<__B__>x</__B__>", "A"), "<none:>");
  EXPECT_EQ(Read("", "A"), "<none:>");
}

TEST(GetTagValue, CaseSensitive) { EXPECT_EQ(Read("<__a__>x</__a__>", "A"), "<none:>"); }

TEST(GetTagValue, NullArgumentsAreRefused) {
  char out[8] = "junk";
  EXPECT_FALSE(Utility::GetTagValue(nullptr, "<__A__>", "</__A__>", out, sizeof out));
  EXPECT_STREQ(out, "");
  EXPECT_FALSE(Utility::GetTagValue("<__A__>x</__A__>", nullptr, "</__A__>", out, sizeof out));
  EXPECT_FALSE(Utility::GetTagValue("<__A__>x</__A__>", "<__A__>", "</__A__>", nullptr, 8));
}

TEST(GetTagValue, ValueThatDoesNotFitIsRefusedNotCut) {
  // Capacity 4 holds three bytes and the zero byte.
  EXPECT_EQ(Read("<__A__>abc</__A__>", "A", 4), "abc");
  EXPECT_EQ(Read("<__A__>abcd</__A__>", "A", 4), "<none:>");
}

TEST(GetTagValue, StringFormHasNoLimit) {
  std::string big(100000, 'v');
  std::string text = "<__A__>" + big + "</__A__>";
  std::string out;
  EXPECT_TRUE(Utility::GetTagValue(text.c_str(), "<__A__>", "</__A__>", out));
  EXPECT_EQ(out, big);
}

TEST(ReplaceTagValue, ReplacesOnlyTheValue) {
  char out[128];
  ASSERT_TRUE(Utility::ReplaceTagValue("a<__S__>N</__S__>b", "Y", "<__S__>", "</__S__>", out, sizeof out));
  EXPECT_STREQ(out, "a<__S__>Y</__S__>b");
  ASSERT_TRUE(Utility::ReplaceTagValue("<__S__>long value</__S__>", "", "<__S__>", "</__S__>", out, sizeof out));
  EXPECT_STREQ(out, "<__S__></__S__>");
}

TEST(ReplaceTagValue, MissingTagsLeaveOutputUntouched) {
  char out[64] = "untouched";
  EXPECT_FALSE(Utility::ReplaceTagValue("<__S__>N", "Y", "<__S__>", "</__S__>", out, sizeof out));
  EXPECT_STREQ(out, "untouched");
  EXPECT_FALSE(Utility::ReplaceTagValue("</__S__><__S__>", "Y", "<__S__>", "</__S__>", out, sizeof out));
  EXPECT_STREQ(out, "untouched");
}

TEST(ReplaceTagValue, NullValueCopiesTextAndFails) {
  char out[64] = "";
  EXPECT_FALSE(Utility::ReplaceTagValue("<__S__>N</__S__>", nullptr, "<__S__>", "</__S__>", out, sizeof out));
  EXPECT_STREQ(out, "<__S__>N</__S__>");
}

TEST(ReplaceTagValue, ResultTooLongForOutputIsRefused) {
  char out[20] = "untouched";
  EXPECT_FALSE(Utility::ReplaceTagValue("<__S__>N</__S__>", "0123456789", "<__S__>", "</__S__>", out, sizeof out));
  EXPECT_STREQ(out, "untouched");
}

TEST(ReplaceTagValue, StringForm) {
  std::string out;
  EXPECT_TRUE(Utility::ReplaceTagValue(std::string("x<__P__>secret</__P__>y"), "", "<__P__>", "</__P__>", out));
  EXPECT_EQ(out, "x<__P__></__P__>y");
  out = "keep";
  EXPECT_FALSE(Utility::ReplaceTagValue(std::string("<__P__>"), "", "<__P__>", "</__P__>", out));
  EXPECT_EQ(out, "keep");
}

// Files rewritten through the string form (the status file, the access cache)
// may hold a stray zero byte: the tags are looked for before it, but nothing
// after it is lost.
TEST(ReplaceTagValue, StringFormKeepsEverythingAfterAZeroByte) {
  const std::string tail("\0after\0<__Q__>v</__Q__>\x1a end", 28);
  std::string out;
  ASSERT_TRUE(Utility::ReplaceTagValue("<__P__>N</__P__>" + tail, "Y", "<__P__>", "</__P__>", out));
  EXPECT_EQ(out, "<__P__>Y</__P__>" + tail);
  out = "keep";
  EXPECT_FALSE(Utility::ReplaceTagValue(tail, "Y", "<__Q__>", "</__Q__>", out));  // only after the zero byte
  EXPECT_EQ(out, "keep");
}

}  // namespace
