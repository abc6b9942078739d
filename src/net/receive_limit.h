#pragma once
// How long a fetch waits for the next byte before it gives the reply up:
// 90 s on every road (the WinInet engine, the plain WinInet request, the
// socket fetch, the proxy script and the crash report's post), so no silent
// server holds the window, or a crashed starter, for ever. Fixed when the
// program is built; a test program may link its own, shorter value
// (ks_quick_receive_limit in cmake/Testing.cmake), but nothing at run time
// can change it.

namespace ksnet {

extern const int kReceiveLimitMs;

}  // namespace ksnet
