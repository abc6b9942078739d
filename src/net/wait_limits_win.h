#pragma once
// The receive limit (net/receive_limit.h) applied to a WinInet request's
// connect, receive and send waits, without a log line: for requests whose
// limits the log does not speak of. It is set on the request handle itself:
// Windows hands a session's limits down to its requests, Wine does not, and
// a silent server would hold the request for ever under Wine. A limit that
// cannot be set leaves the system's default.
#include <windows.h>
#include <wininet.h>

namespace ksnet {

void LimitWaits(HINTERNET request);

}  // namespace ksnet
