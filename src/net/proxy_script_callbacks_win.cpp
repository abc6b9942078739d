#include "net/proxy_script_callbacks_win.h"

#include <winsock2.h>

#include <cstring>

#include "net/name_resolution_win.h"

namespace ProxyScriptCallbacks {
namespace {

DWORD WriteAddress(const char* host, LPSTR output, LPDWORD size) {
  if (output == nullptr || size == nullptr) return ERROR_INVALID_PARAMETER;
  char address[256] = "";
  Utility::ResolveHostAddress(host, address, sizeof address);
  DWORD length = static_cast<DWORD>(strlen(address));
  if (length + 1 > *size) return ERROR_INSUFFICIENT_BUFFER;
  memcpy(output, address, length + 1);
  *size = length;
  return 0;
}

// Only the four helpers are offered; every later entry is null.
const HelperTable kTable = {&IsResolvable, &GetIPAddress, &ResolveHostByName, &IsInNet,
                            nullptr,       nullptr,       nullptr,            nullptr, nullptr};
struct Helpers {
  const HelperTable* lpVtbl;
} g_helpers = {&kTable};
static_assert(sizeof(Helpers) == sizeof(AutoProxyHelperFunctions), "one pointer to the table, as declared");

}  // namespace

BOOL WINAPI IsResolvable(LPSTR lpszHost) {
  char address[256];
  if (lpszHost != nullptr) Utility::ResolveHostAddress(lpszHost, address, sizeof address);
  return TRUE;
}

DWORD WINAPI GetIPAddress(LPSTR lpszIPAddress, LPDWORD lpdwIPAddressSize) {
  char name[256];
  if (gethostname(name, 254) != 0) return ERROR_INTERNET_INTERNAL_ERROR;
  name[254] = '\0';
  return WriteAddress(name, lpszIPAddress, lpdwIPAddressSize);
}

DWORD WINAPI ResolveHostByName(LPSTR lpszHostName, LPSTR lpszIPAddress, LPDWORD lpdwIPAddressSize) {
  return WriteAddress(lpszHostName ? lpszHostName : "", lpszIPAddress, lpdwIPAddressSize);
}

BOOL WINAPI IsInNet(LPSTR lpszIPAddress, LPSTR lpszDest, LPSTR lpszMask) {
  if (lpszIPAddress == nullptr || lpszDest == nullptr || lpszMask == nullptr) return FALSE;
  unsigned long address = inet_addr(lpszIPAddress);
  unsigned long destination = inet_addr(lpszDest);
  unsigned long mask = inet_addr(lpszMask);
  if (address == INADDR_NONE || destination == INADDR_NONE) return FALSE;
  return (address & mask) == destination ? TRUE : FALSE;
}

AutoProxyHelperFunctions* Table() { return reinterpret_cast<AutoProxyHelperFunctions*>(&g_helpers); }

}  // namespace ProxyScriptCallbacks
