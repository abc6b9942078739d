#pragma once
// The receive limit (net/receive_limit.h) applied to a WinInet handle's
// connect, receive and send waits, without a log line: for handles whose
// limits the log does not speak of. Windows hands a session's limits down to
// the requests opened from it, Wine does not, so a request handle is given
// them too, or a silent server holds it for ever under Wine. A limit that
// cannot be set leaves the system's default.
#include <windows.h>
#include <wininet.h>

namespace ksnet {

void LimitWaits(HINTERNET handle);

}  // namespace ksnet
