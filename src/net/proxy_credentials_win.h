#pragma once
// The user name and password a participant typed for an authenticating
// proxy, kept in memory for the rest of the run so that each later request
// through the same proxy carries them instead of asking again. They never
// leave this memory except into WinInet's own request handles, and are wiped
// when replaced and when the run ends.
#include <windows.h>
#include <wininet.h>

#include <string>

namespace ksnet {

// The proxy `internet` sends its requests through, as WinInet names it
// ("host:port" or a per-protocol list); empty for a direct handle.
std::string ProxyOf(HINTERNET internet);

// After a resend the proxy accepted: reads the credentials back from
// `request` and keeps them for the proxy of `internet`, replacing any kept
// before. The proxy they are kept for; empty when the handles do not give
// them.
std::string KeepProxyCredentials(HINTERNET internet, HINTERNET request);

// Before `request` is sent: gives it the kept credentials when `internet`
// goes through the proxy they were kept for. That proxy; empty when it gave
// none.
std::string GiveProxyCredentials(HINTERNET internet, HINTERNET request);

// The run needs them no more.
void WipeProxyCredentials();

}  // namespace ksnet
