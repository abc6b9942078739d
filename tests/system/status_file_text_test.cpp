#include <gtest/gtest.h>

#include <string>

#include "system/status_file_text.h"

namespace {

const char kOpen[] = "<__ClientCalledToLaunch__>";
const char kClose[] = "</__ClientCalledToLaunch__>";

TEST(StatusFileText, FieldsAreLookedForBeforeAZeroByteAndWhatFollowsItIsKept) {
  const std::string content("<__ClientCalledToLaunch__>Y</__ClientCalledToLaunch__>\0<__B__>\x1a", 63);
  char value[kStatusValueSize];
  ASSERT_TRUE(ReadStatusField(content, kOpen, kClose, value));
  EXPECT_STREQ(value, "Y");
  std::string updated;
  ASSERT_TRUE(RewriteStatusField(content, kOpen, kClose, "N", updated));
  EXPECT_EQ(updated, std::string("<__ClientCalledToLaunch__>N</__ClientCalledToLaunch__>\0<__B__>\x1a", 63));

  const std::string hidden("\0<__ClientCalledToLaunch__>Y</__ClientCalledToLaunch__>", 55);
  EXPECT_FALSE(ReadStatusField(hidden, kOpen, kClose, value));
  EXPECT_FALSE(RewriteStatusField(hidden, kOpen, kClose, "N", updated));
}

TEST(StatusFileText, RewriteKeepsEveryOtherByte) {
  std::string updated;
  ASSERT_TRUE(RewriteStatusField("head\r\n<__ClientCalledToLaunch__>Y</__ClientCalledToLaunch__>\r\ntail", kOpen,
                                 kClose, "N", updated));
  EXPECT_EQ(updated, "head\r\n<__ClientCalledToLaunch__>N</__ClientCalledToLaunch__>\r\ntail");
  char value[kStatusValueSize];
  ASSERT_TRUE(ReadStatusField(updated, kOpen, kClose, value));
  EXPECT_STREQ(value, "N");
}

TEST(StatusFileText, MissingOrOverlongFieldsAreNotRead) {
  char value[kStatusValueSize];
  std::string updated = "untouched";
  EXPECT_FALSE(ReadStatusField("<__ClientCalledToLaunch__>Y", kOpen, kClose, value));
  EXPECT_STREQ(value, "");
  EXPECT_FALSE(RewriteStatusField("<__ClientCalledToLaunch__>Y", kOpen, kClose, "N", updated));
  EXPECT_EQ(updated, "untouched");
  std::string long_value(kStatusValueSize, 'Y');
  EXPECT_FALSE(ReadStatusField(std::string(kOpen) + long_value + kClose, kOpen, kClose, value));
  EXPECT_STREQ(value, "");
}

}  // namespace
