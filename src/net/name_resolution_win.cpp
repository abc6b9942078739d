#include "net/name_resolution_win.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <svcguid.h>

#include "base/error_text.h"
#include "base/log_api.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "net/dotted_address.h"

namespace Utility {
namespace {

const char kOperation[] = "Utility::GetIPAddressByName";

// The name-service fallback: first address of a host-name lookup that turns
// into text.
bool LookupServiceAddress(const char* host_name, char* address, size_t capacity) {
  wchar_t wide_name[512];
  if (!UTF8ToUTF16(host_name, wide_name, 512) || wide_name[0] == L'\0') return false;

  GUID host_class = SVCID_HOSTNAME;
  WSAQUERYSETW query = {};
  query.dwSize = sizeof query;
  query.lpszServiceInstanceName = wide_name;
  query.lpServiceClassId = &host_class;
  query.dwNameSpace = NS_ALL;
  HANDLE lookup = nullptr;
  if (WSALookupServiceBeginW(&query, LUP_RETURN_NAME | LUP_RETURN_ADDR, &lookup) != 0) return false;

  bool found = false;
  // 1024 bytes, aligned for the query set the results are written as.
  union {
    WSAQUERYSETW set;
    char bytes[1024];
  } results;
  DWORD length = sizeof results;
  if (WSALookupServiceNextW(lookup, 0, &length, &results.set) == 0) {
    for (DWORD i = 0; i < results.set.dwNumberOfCsAddrs && !found; ++i) {
      const CSADDR_INFO& info = results.set.lpcsaBuffer[i];
      wchar_t text[512];
      DWORD text_length = 512;
      if (info.RemoteAddr.lpSockaddr == nullptr) continue;
      if (WSAAddressToStringW(info.RemoteAddr.lpSockaddr, static_cast<DWORD>(info.RemoteAddr.iSockaddrLength),
                              nullptr, text, &text_length) != 0)
        continue;
      found = UTF16ToUTF8(text, address, static_cast<int>(capacity));
    }
  }
  WSALookupServiceEnd(lookup);
  return found;
}

}  // namespace

bool GetIPAddressByName(const char* host_name, char* address, size_t capacity) {
  if (address != nullptr && capacity > 0) address[0] = '\0';
  if (host_name == nullptr || address == nullptr || capacity == 0) return false;
  if (ksnet::LooksLikeDottedAddress(host_name)) return ks::CopyText(address, capacity, host_name);

  hostent* host = gethostbyname(host_name);
  if (host == nullptr) {
    int code = WSAGetLastError();
    KS_LOG(3, kOperation, "gethostbyname() failed for %s: Error Code = %d, Error = %s", host_name, code,
           GetErrorText(code));
    return false;
  }
  if (host->h_addr_list == nullptr || host->h_addr_list[0] == nullptr || host->h_addrtype != AF_INET) {
    int code = WSAGetLastError();
    KS_LOG(3, kOperation, "uHostent->h_addr_list returns NULL for %s: Error Code = %d, Error = %s", host_name, code,
           GetErrorText(code));
    return false;
  }
  in_addr first;
  memcpy(&first, host->h_addr_list[0], sizeof first);
  return ks::CopyText(address, capacity, inet_ntoa(first));
}

bool ResolveHostAddress(const char* host_name, char* address, size_t capacity) {
  if (GetIPAddressByName(host_name, address, capacity)) return true;
  if (host_name == nullptr || address == nullptr || capacity == 0) return false;
  return LookupServiceAddress(host_name, address, capacity);
}

}  // namespace Utility
