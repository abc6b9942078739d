#pragma once
// How long a fetch waits for the next byte before it gives the reply up:
// 90 s on every road (the WinInet engine, the plain WinInet request and the
// socket fetch), so no silent server holds the window for ever. Fixed when
// the program is built; a test program may link its own, shorter value (see
// tests/e2e/CMakeLists.txt), but nothing at run time can change it.

namespace ksnet {

extern const int kReceiveLimitMs;

}  // namespace ksnet
