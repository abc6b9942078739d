#include "net/name_resolution_win.h"

// Placeholder until name resolution is built.
namespace Utility {
bool GetIPAddressByName(const char* /*host_name*/, char* address, size_t capacity) {
  if (address != nullptr && capacity > 0) address[0] = '\0';
  return false;
}
bool ResolveHostAddress(const char* host_name, char* address, size_t capacity) {
  return GetIPAddressByName(host_name, address, capacity);
}
}  // namespace Utility
