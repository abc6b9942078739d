#pragma once
// The helper functions a proxy script may call back into while it runs
// (isResolvable, myIpAddress, dnsResolve, isInNet), handed to the system's
// auto-proxy library in this order.
#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

namespace ProxyScriptCallbacks {

// Resolves the host and answers TRUE whatever the outcome.
BOOL WINAPI IsResolvable(LPSTR lpszHost);
// Address of the local host name into lpszIPAddress (*size bytes, set to the
// text length); ERROR_INTERNET_INTERNAL_ERROR without a host name,
// ERROR_INSUFFICIENT_BUFFER when the text does not fit.
DWORD WINAPI GetIPAddress(LPSTR lpszIPAddress, LPDWORD lpdwIPAddressSize);
// Address of a host, on the same terms.
DWORD WINAPI ResolveHostByName(LPSTR lpszHostName, LPSTR lpszIPAddress, LPDWORD lpdwIPAddressSize);
// TRUE when address and destination are valid and address & mask == destination.
BOOL WINAPI IsInNet(LPSTR lpszIPAddress, LPSTR lpszDest, LPSTR lpszMask);

// The helper table as the system's auto-proxy library knows it. The cross
// toolchain's header declares only the first four entries; the platform's
// table goes on with their "Ex" forms and a sort function, and a library
// that looks at those must find them (null: not offered) rather than
// whatever lies behind a shorter table.
struct HelperTable {
  BOOL(WINAPI* IsResolvable)(LPSTR lpszHost);
  DWORD(WINAPI* GetIPAddress)(LPSTR lpszIPAddress, LPDWORD lpdwIPAddressSize);
  DWORD(WINAPI* ResolveHostName)(LPSTR lpszHostName, LPSTR lpszIPAddress, LPDWORD lpdwIPAddressSize);
  BOOL(WINAPI* IsInNet)(LPSTR lpszIPAddress, LPSTR lpszDest, LPSTR lpszMask);
  BOOL(WINAPI* IsResolvableEx)(LPSTR lpszHost);
  DWORD(WINAPI* GetIPAddressEx)(LPSTR lpszIPAddress, LPDWORD lpdwIPAddressSize);
  DWORD(WINAPI* ResolveHostNameEx)(LPSTR lpszHostName, LPSTR lpszIPAddress, LPDWORD lpdwIPAddressSize);
  BOOL(WINAPI* IsInNetEx)(LPSTR lpszIPAddress, LPSTR lpszIPPrefix);
  DWORD(WINAPI* SortIpList)(LPSTR lpszIPAddressList, LPSTR lpszIPSortedList, LPDWORD lpdwIPSortedListSize);
};

// The helpers, for InternetInitializeAutoProxyDll: a pointer to the full
// table, under the type the toolchain's header gives that parameter.
AutoProxyHelperFunctions* Table();

}  // namespace ProxyScriptCallbacks
