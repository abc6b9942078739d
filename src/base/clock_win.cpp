#include "base/clock_win.h"

#include <windows.h>

namespace ks {
namespace {

long long Frequency() {
  static const long long frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  return frequency;
}

long long Counter() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}

}  // namespace

double SecondsNow() { return static_cast<double>(Counter()) / static_cast<double>(Frequency()); }

uint32_t MillisecondsNow() {
  long long counter = Counter();
  long long frequency = Frequency();
  // Split so the multiplication by 1000 cannot overflow for any counter value.
  long long milliseconds = (counter / frequency) * 1000 + (counter % frequency) * 1000 / frequency;
  return static_cast<uint32_t>(static_cast<unsigned long long>(milliseconds));
}

}  // namespace ks
