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

// The callback table, for InternetInitializeAutoProxyDll.
AutoProxyHelperFunctions* Table();

}  // namespace ProxyScriptCallbacks
