#pragma once
#include <string>

// English text for a Winsock or system error code, printed right away by the
// caller ("error code: %d, error: %s"). Windows only.

// Listed Winsock codes give fixed texts; any other code gives the system's
// message text (trailing line break included), or "" when it does not fit 511
// bytes. That text lives in a per-thread buffer until the thread's next lookup.
const char* GetErrorText(int code);

// The same text without its trailing line break, for a text inside a line.
std::string GetErrorTextInLine(int code);
