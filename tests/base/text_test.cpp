#include "base/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

TEST(BoundedText, CopyRefusesWhatDoesNotFitAndLeavesEmptyText) {
  char buffer[4];
  EXPECT_TRUE(ks::CopyText(buffer, sizeof buffer, "abc"));
  EXPECT_STREQ(buffer, "abc");
  EXPECT_FALSE(ks::CopyText(buffer, sizeof buffer, "abcd"));
  EXPECT_STREQ(buffer, "");
  EXPECT_TRUE(ks::CopyText(buffer, sizeof buffer, nullptr));
  EXPECT_STREQ(buffer, "");
}

TEST(BoundedText, FormatRefusesOverflowInsteadOfCutting) {
  char buffer[8];
  EXPECT_TRUE(ks::FormatText(buffer, sizeof buffer, "%s\\%s", "ab", "cd"));
  EXPECT_STREQ(buffer, "ab\\cd");
  EXPECT_FALSE(ks::FormatText(buffer, sizeof buffer, "%s\\%s", "abcd", "efgh"));
  EXPECT_STREQ(buffer, "");
}

TEST(BoundedText, AppendKeepsTheOriginalOnOverflow) {
  char buffer[8] = "abc";
  EXPECT_TRUE(ks::AppendText(buffer, sizeof buffer, "def"));
  EXPECT_STREQ(buffer, "abcdef");
  EXPECT_FALSE(ks::AppendText(buffer, sizeof buffer, "gh"));
  EXPECT_STREQ(buffer, "abcdef");
}

TEST(BoundedText, FormatToStringHandlesLongResults) {
  std::string long_text(5000, 'z');
  EXPECT_EQ(ks::Format("<%s>", long_text.c_str()).size(), 5002u);
}

TEST(BoundedText, FindBytesDoesNotNeedZeroEndedHay) {
  const char hay[] = {'a', 'b', 'c', 'd'};  // no zero byte
  EXPECT_EQ(ks::FindBytes(hay, 4, "cd", 2), hay + 2);
  EXPECT_EQ(ks::FindBytes(hay, 3, "cd", 2), nullptr);
  EXPECT_EQ(ks::FindBytes(hay, 4, "", 0), nullptr);
}

TEST(BoundedText, ParseIntReadsLikeAtoiWithoutOverflow) {
  EXPECT_EQ(ks::ParseInt("  42abc"), 42);
  EXPECT_EQ(ks::ParseInt("-7"), -7);
  EXPECT_EQ(ks::ParseInt("abc"), 0);
  EXPECT_EQ(ks::ParseInt("99999999999999999999"), INT_MAX);
  EXPECT_EQ(ks::ParseInt("-99999999999999999999"), INT_MIN);
}

TEST(BoundedText, ParseIntTellsWhenTheNumberIsOutOfRange) {
  struct Case {
    const char* text;
    int value;
    bool out_of_range;
  };
  const Case cases[] = {{"2147483647", INT_MAX, false},  {"2147483648", INT_MAX, true},
                        {"-2147483648", INT_MIN, false}, {"-2147483649", INT_MIN, true},
                        {"99999999999999999999", INT_MAX, true}, {"", 0, false}};
  for (const Case& c : cases) {
    bool out_of_range = !c.out_of_range;
    EXPECT_EQ(ks::ParseInt(c.text, &out_of_range), c.value) << c.text;
    EXPECT_EQ(out_of_range, c.out_of_range) << c.text;
  }
}

TEST(BoundedText, CrLfBecomesLfAndLoneCarriageReturnsStay) {
  std::string text = "a\r\nb\rc\r\r\n\r";
  ks::CrLfToLf(text);
  EXPECT_EQ(text, "a\nb\rc\r\n\r");
}

TEST(BoundedText, CaseChangesOnlyAsciiLetters) {
  char text[] = "Ab\xC3\x89z";
  ks::LowerAscii(text);
  EXPECT_STREQ(text, "ab\xC3\x89z");
  ks::UpperAscii(text);
  EXPECT_STREQ(text, "AB\xC3\x89Z");
}

}  // namespace
