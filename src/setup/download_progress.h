#pragma once
// The numbers the download watcher shows: percent, speed and time remaining,
// measured every 166 passes (about ten seconds at 60 ms a pass) so they are
// smoothed, and the summary at the end. All arithmetic is 64-bit and guarded,
// so no package size that fits a 32-bit signed count can overflow it or
// divide by zero, and the percent stays within 0 to 100.
#include <cstdint>

#include "setup/setup_interface.h"

struct DownloadSummary {
  int average_kbps;
  int total_seconds;
};

class DownloadProgress {
 public:
  static const int kPassesPerMeasurement = 166;

  // `now_ms` comes from a millisecond clock that may wrap at 32 bits.
  // `held` bytes (a part kept by an earlier run) count as done from the
  // start; speed and time remaining are those of the bytes fetched now.
  DownloadProgress(int expected_size, uint32_t now_ms, int held = 0);

  // One pass of the watch loop with the bytes received so far.
  ProgressValues Pass(int received, uint32_t now_ms);

  // Average speed over the whole download and its length in seconds.
  DownloadSummary Finish(uint32_t now_ms) const;

  static int Percent(int received, int expected_size);

 private:
  int expected_size_;
  int held_;
  uint32_t start_ms_;
  uint32_t last_measure_ms_;
  int last_received_;
  int pass_counter_;
  long long speed_bytes_per_ms_;
  long long seconds_remaining_;
};
