#pragma once
// The download numbers the worker sends as "percent,kbps,seconds".
#include <cstddef>

#include "setup/setup_interface.h"

// Reads at most `capacity` bytes of `text` (a zero byte may end it sooner; a
// null text reads as empty). The text splits at its first and second comma,
// the third part being the rest; each part is read like atoi (no digits give
// 0, overflow saturates). A missing comma leaves the next part starting where
// the previous one did, so a text without commas gives its number to all three.
ProgressValues ParseProgressValues(const char* text, size_t capacity);
