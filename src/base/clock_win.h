#pragma once
// Time from the high-resolution performance counter (its frequency is read once).
#include <cstdint>

namespace ks {

// Seconds since an arbitrary start, for measuring intervals.
double SecondsNow();

// Milliseconds as a 32-bit count that wraps; differences stay right across a wrap.
uint32_t MillisecondsNow();

}  // namespace ks
