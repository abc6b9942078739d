#pragma once
// Host name to dotted IPv4 text, shared by the network subsystem and the
// error report. Needs the socket library started.
#include <cstddef>

namespace Utility {

// A name of four dot-separated pieces whose first reads as a non-zero number
// is taken as an address already; otherwise the system resolver.
bool GetIPAddressByName(const char* host_name, char* address, size_t capacity);

// As GetIPAddressByName, falling back to a name-service lookup.
bool ResolveHostAddress(const char* host_name, char* address, size_t capacity);

}  // namespace Utility
