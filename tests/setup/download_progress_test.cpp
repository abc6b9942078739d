#include "setup/download_progress.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(DownloadProgress, PercentStaysWithinRangeForLargePackages) {
  const int size = INT_MAX;  // far above 2^31 / 100
  EXPECT_EQ(DownloadProgress::Percent(size / 2, size), 49);
  EXPECT_EQ(DownloadProgress::Percent(size, size), 100);
  EXPECT_EQ(DownloadProgress::Percent(0, size), 0);
  EXPECT_EQ(DownloadProgress::Percent(5, 0), 0);
  EXPECT_EQ(DownloadProgress::Percent(-1, 10), 0);
}

TEST(DownloadProgress, NoSpeedOrTimeBeforeTheFirstMeasurement) {
  DownloadProgress progress(1000000, 5000);
  for (int pass = 1; pass < DownloadProgress::kPassesPerMeasurement; ++pass) {
    ProgressValues v = progress.Pass(pass * 1000, 5000 + static_cast<uint32_t>(pass) * 60);
    EXPECT_EQ(v.speed_kbps, 0);
    EXPECT_EQ(v.seconds_remaining, 0);
  }
}

TEST(DownloadProgress, MeasuresEvery166PassesFromTheStart) {
  const int size = 100000000;
  DownloadProgress progress(size, 0);
  uint32_t now = 0;
  int received = 0;
  ProgressValues v = {0, 0, 0};
  for (int pass = 1; pass <= DownloadProgress::kPassesPerMeasurement; ++pass) {
    now += 60;
    received += 60000;  // 1000 bytes per millisecond
    v = progress.Pass(received, now);
  }
  EXPECT_EQ(v.speed_kbps, 8000);  // 1000 bytes/ms * 8
  // ((size - received) / 1000) / 1000 bytes per ms
  EXPECT_EQ(v.seconds_remaining, ((size - received) / 1000) / 1000);
  EXPECT_EQ(v.percent, static_cast<int>(static_cast<long long>(received) * 100 / size));

  // The next measurement comes 166 passes later; speed halves in between.
  for (int pass = 1; pass <= DownloadProgress::kPassesPerMeasurement; ++pass) {
    now += 60;
    received += 30000;
    v = progress.Pass(received, now);
    if (pass < DownloadProgress::kPassesPerMeasurement) {
      EXPECT_EQ(v.speed_kbps, 8000);
    }
  }
  EXPECT_EQ(v.speed_kbps, 4000);
}

TEST(DownloadProgress, ClockWrapAroundDoesNotBreakTheMeasurement) {
  uint32_t start = 0xFFFFFF00u;
  DownloadProgress progress(10000000, start);
  ProgressValues v = {0, 0, 0};
  for (int pass = 1; pass <= DownloadProgress::kPassesPerMeasurement; ++pass)
    v = progress.Pass(pass * 6000, start + static_cast<uint32_t>(pass) * 60);
  EXPECT_EQ(v.speed_kbps, 800);
}

TEST(DownloadProgress, SummaryNeverDividesByZero) {
  DownloadProgress instant(5000, 42);
  DownloadSummary s = instant.Finish(42);
  EXPECT_EQ(s.average_kbps, 40000);
  EXPECT_EQ(s.total_seconds, 0);

  DownloadProgress big(INT_MAX, 0);
  s = big.Finish(2500);
  EXPECT_EQ(s.average_kbps, static_cast<int>(static_cast<long long>(INT_MAX) * 8 / 2500));
  EXPECT_EQ(s.total_seconds, 2);
}

}  // namespace
