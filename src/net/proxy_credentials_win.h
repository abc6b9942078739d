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

// One credentials dialog at a time in the process: the installation report
// may ask beside the download. A request refused for want of credentials
// takes the turn before it asks and holds it until what was typed is kept
// or refused; a request that meanwhile kept waiting is given what was kept
// and asks only when that is refused too.
class ProxyPromptTurn {
 public:
  ProxyPromptTurn();  // before the request is first given credentials
  ~ProxyPromptTurn() { Release(); }
  ProxyPromptTurn(const ProxyPromptTurn&) = delete;
  ProxyPromptTurn& operator=(const ProxyPromptTurn&) = delete;

  // Waits for the turn, once per request. The proxy whose credentials, kept
  // since this request began, are now given to `request` (send it again
  // without asking); empty when the request is to ask, or has the turn
  // already.
  std::string Take(HINTERNET internet, HINTERNET request);
  void Release();

 private:
  unsigned long seen_;  // credentials kept in the run when the request began
  bool held_ = false;
};

}  // namespace ksnet
