#include "setup/download_progress.h"

#include <climits>

namespace {

int Clamp(long long value) {
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace

DownloadProgress::DownloadProgress(int expected_size, uint32_t now_ms, int held)
    : expected_size_(expected_size),
      held_(held > 0 && held < expected_size ? held : 0),
      start_ms_(now_ms),
      last_measure_ms_(now_ms),
      last_received_(held_),
      pass_counter_(1),
      speed_bytes_per_ms_(0),
      seconds_remaining_(0) {}

int DownloadProgress::Percent(int received, int expected_size) {
  if (expected_size <= 0 || received <= 0) return 0;
  long long percent = static_cast<long long>(received) * 100 / expected_size;
  return percent > 100 ? 100 : static_cast<int>(percent);
}

ProgressValues DownloadProgress::Pass(int received, uint32_t now_ms) {
  if (pass_counter_ >= kPassesPerMeasurement) {
    uint32_t since_last = now_ms - last_measure_ms_;
    uint32_t since_start = now_ms - start_ms_;
    // A reply that starts the body over (the package changed since the
    // part was kept) counts no speed backwards.
    long long gained = static_cast<long long>(received) - last_received_;
    if (since_last > 0) speed_bytes_per_ms_ = (gained > 0 ? gained : 0) / static_cast<long long>(since_last);
    long long fetched = static_cast<long long>(received) - held_;
    long long average = since_start > 0 && fetched > 0 ? fetched / since_start : 0;
    if (average > 0) {
      long long left = static_cast<long long>(expected_size_) - received;
      seconds_remaining_ = (left > 0 ? left / 1000 : 0) / average;
    }
    last_received_ = received;
    last_measure_ms_ = now_ms;
    pass_counter_ = 0;
  }
  ++pass_counter_;
  ProgressValues values;
  values.percent = Percent(received, expected_size_);
  values.speed_kbps = Clamp(speed_bytes_per_ms_ * 8);
  values.seconds_remaining = Clamp(seconds_remaining_);
  return values;
}

DownloadSummary DownloadProgress::Finish(uint32_t now_ms) const {
  uint32_t elapsed = now_ms - start_ms_;
  // A download over within the first millisecond counts as one millisecond.
  long long divisor = elapsed > 0 ? elapsed : 1;
  DownloadSummary summary;
  summary.average_kbps = Clamp(static_cast<long long>(expected_size_ - held_) * 8 / divisor);
  summary.total_seconds = static_cast<int>(elapsed / 1000);
  return summary;
}
