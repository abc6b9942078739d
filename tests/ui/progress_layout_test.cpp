#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "ui/progress_layout.h"
#include "ui/progress_values.h"

namespace {

void ExpectPlacement(const Placement& placement, int x, int y, int width, int height) {
  EXPECT_EQ(x, placement.x);
  EXPECT_EQ(y, placement.y);
  EXPECT_EQ(width, placement.width);
  EXPECT_EQ(height, placement.height);
}

TEST(MessageLayout, MovesAndGrowsTheStatusLineByTheScale) {
  const LayoutRect saved = {6, 6, 366, 22};
  // 96 dpi
  ExpectPlacement(MessageLayoutPlacement(saved, ScaleFromDpi(96)), 21, 16, 366, 52);
  // 144 dpi: 22.5 and the like are cut to whole pixels.
  ExpectPlacement(MessageLayoutPlacement(saved, ScaleFromDpi(144)), 28, 21, 366, 67);
  // 120 dpi: 18.75, 12.5, 37.5
  ExpectPlacement(MessageLayoutPlacement(saved, ScaleFromDpi(120)), 24, 18, 366, 59);
}

TEST(ProgressLayout, RestoresTheTemplatePlace) {
  ExpectPlacement(ProgressLayoutPlacement(LayoutRect{6, 6, 366, 22}), 6, 6, 360, 16);
}

TEST(ProgressFill, FollowsThePositionWithinTheRange) {
  EXPECT_EQ(0, ProgressFillWidth(0, 100, 0, 338));
  EXPECT_EQ(152, ProgressFillWidth(0, 100, 45, 338));  // 45 * 338 / 100 = 152.1
  EXPECT_EQ(338, ProgressFillWidth(0, 100, 100, 338));
  // Percent first, then pixels, both cut: 1/3 is 33 %, not a third of the bar.
  EXPECT_EQ(33, ProgressFillWidth(0, 3, 1, 100));
  EXPECT_EQ(50, ProgressFillWidth(100, 300, 200, 100));
}

TEST(ProgressFill, DrawsNothingOutsideTheRangeOrForAnEmptyRange) {
  EXPECT_EQ(0, ProgressFillWidth(0, 100, -1, 338));
  EXPECT_EQ(0, ProgressFillWidth(0, 100, 101, 338));
  EXPECT_EQ(0, ProgressFillWidth(5, 5, 5, 338));
  EXPECT_EQ(0, ProgressFillWidth(10, 0, 5, 338));
  EXPECT_EQ(0, ProgressFillWidth(0, 100, 50, 0));
  // Extreme ranges must not overflow.
  EXPECT_EQ(100, ProgressFillWidth(INT_MIN, INT_MAX, INT_MAX, 100));
}

TEST(FrameAndIcon, SitWhereTheWindowDrawsThem) {
  const LayoutRect client = {0, 0, 412, 88};
  LayoutRect outer = OuterFrameRect(client);
  LayoutRect inner = InnerFrameRect(client);
  EXPECT_EQ(0, outer.left);
  EXPECT_EQ(413, outer.right);
  EXPECT_EQ(89, outer.bottom);
  EXPECT_EQ(1, inner.left);
  EXPECT_EQ(1, inner.top);
  EXPECT_EQ(412, inner.right);
  EXPECT_EQ(88, inner.bottom);

  LayoutPoint origin = CentredIconOrigin(14, 13, 16, 16);
  EXPECT_EQ(0, origin.x);  // (14 - 16) / 2 + 1, cut towards zero
  EXPECT_EQ(0, origin.y);
  origin = CentredIconOrigin(24, 21, 16, 16);
  EXPECT_EQ(5, origin.x);
  EXPECT_EQ(3, origin.y);
}

void ExpectValues(const char* text, int percent, int speed, int seconds) {
  SCOPED_TRACE(text == nullptr ? "(null)" : text);
  ProgressValues values = ParseProgressValues(text, 512);
  EXPECT_EQ(percent, values.percent);
  EXPECT_EQ(speed, values.speed_kbps);
  EXPECT_EQ(seconds, values.seconds_remaining);
}

TEST(ProgressValuesText, SplitsAtTheFirstTwoCommas) {
  ExpectValues("45,120,30", 45, 120, 30);
  ExpectValues("100,0,0", 100, 0, 0);
  ExpectValues("7,8,9,10", 7, 8, 9);  // the third part is the rest
  ExpectValues(" 5, -3,+4", 5, -3, 4);
}

TEST(ProgressValuesText, ReadsBadPartsLikeAtoi) {
  ExpectValues("45", 45, 45, 45);  // no comma: one number for all three
  ExpectValues("45,120", 45, 120, 120);
  ExpectValues(",,", 0, 0, 0);
  ExpectValues("abc,12x,", 0, 12, 0);
  ExpectValues("", 0, 0, 0);
  ExpectValues(nullptr, 0, 0, 0);
  ExpectValues("99999999999,-99999999999,1", INT_MAX, INT_MIN, 1);
}

TEST(ProgressValuesText, NeverReadsPastTheBuffer) {
  // A sender's buffer without a zero byte: only `capacity` bytes are read.
  std::string unended = "12,34,56789";
  ProgressValues values = ParseProgressValues(unended.data(), 8);  // "12,34,56"
  EXPECT_EQ(12, values.percent);
  EXPECT_EQ(34, values.speed_kbps);
  EXPECT_EQ(56, values.seconds_remaining);
}

}  // namespace
