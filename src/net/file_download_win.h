#pragma once
// URLDownloadToFileA with a bound on the caller's wait. The system call takes
// no time limit of ours, and a server that takes the request and then stays
// silent holds it as long as the system lets it (under Wine, for ever). It
// runs on a thread of its own; a caller that has waited `limit_ms` goes on
// without the file, and the thread, whenever it returns, deletes what it
// wrote so no stale file is taken later.
#include <windows.h>

namespace ksnet {

// True when the download call returned within the limit (whatever its
// result, which the caller may judge from the file); false when the caller
// gave up waiting.
bool DownloadToFileWithin(const char* url, const char* file, DWORD limit_ms);

}  // namespace ksnet
