#pragma once
// How long the socket fetch waits for the next byte before it gives the
// reply up, the same 90 s that WinInet is given. Fixed when the program is
// built; a test program may link its own, shorter value (see
// tests/e2e/CMakeLists.txt), but nothing at run time can change it.

namespace ksnet {

extern const int kSocketReceiveLimitMs;

}  // namespace ksnet
