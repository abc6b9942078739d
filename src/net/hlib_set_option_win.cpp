// Trying the connection's own settings (SetOptionR) and a proxy script's
// answer (SetOptionA); each setting that works is remembered.
#include <string>

#include "base/log_api.h"
#include "net/hlib_win.h"
#include "net/proxy_list.h"

namespace {

void LogTooLong(const char* operation, const std::string& text) {
  KS_LOG(0, operation, "Skip proxy entry longer than %d characters: %s", static_cast<int>(ksnet::kProxyEntryLimit),
         text.c_str());
}

}  // namespace

bool HLib::SetOptionR(const char* sURL, const char* sIP, int iPort, bool bSecure, const char* sVerb,
                      const char* sByPass, const char* sProxyServer, const char* sPostData) {
  const char* operation = "HLib::SetOptionR";
  try {
    const char* bypass = sByPass ? sByPass : "";
    auto attempt = [&](char type, const char* proxy) {
      if (!DoRequest(sURL, sIP, iPort, bSecure, sVerb, type, bypass, proxy, sPostData)) return false;
      AddCache(sIP, iPort, bSecure, type, bypass, proxy);
      return true;
    };
    if (attempt('D', "") || attempt('L', "")) return true;
    if (sProxyServer == nullptr) return false;
    if (std::string(sProxyServer).find('=') == std::string::npos) return attempt('P', sProxyServer);
    // A per-protocol list: only its https and socks elements are tried.
    const struct {
      const char* prefix;
      char type;
    } kinds[] = {{"https=", 'H'}, {"socks=", 'S'}};
    for (const auto& kind : kinds) {
      std::string element;
      ksnet::ElementOutcome found = ksnet::ProxyServerElement(sProxyServer, kind.prefix, &element);
      if (found == ksnet::ElementOutcome::kTooLong) {
        LogTooLong(operation, sProxyServer);
        continue;
      }
      if (found == ksnet::ElementOutcome::kFound && attempt(kind.type, element.c_str())) return true;
    }
    return false;
  } catch (...) {
    KS_LOG(0, operation, "error code=%d", static_cast<int>(GetLastError()));
    return false;
  }
}

bool HLib::SetOptionA(const char* sURL, const char* sIP, int iPort, bool bSecure, const char* sVerb,
                      const char* sProxyList, const char* sPostData) {
  const char* operation = "HLib::SetOptionA";
  try {
    if (sProxyList == nullptr || sProxyList[0] == '\0') return false;
    for (const ksnet::ProxyEntry& entry : ksnet::ParseProxyList(sProxyList)) {
      char type = 0;
      switch (entry.kind) {
        case ksnet::ProxyEntryKind::kProxy:
          type = 'P';
          break;
        case ksnet::ProxyEntryKind::kDirect:
          type = 'D';
          break;
        case ksnet::ProxyEntryKind::kSocks:
          type = 'S';
          break;
        case ksnet::ProxyEntryKind::kTooLong:
          LogTooLong(operation, entry.text);
          continue;
        case ksnet::ProxyEntryKind::kOther:
          continue;
      }
      if (DoRequest(sURL, sIP, iPort, bSecure, sVerb, type, "", entry.address.c_str(), sPostData)) {
        AddCache(sIP, iPort, bSecure, type, "", entry.address.c_str());
        return true;
      }
    }
    return false;
  } catch (...) {
    KS_LOG(0, operation, "error code=%d", static_cast<int>(GetLastError()));
    return false;
  }
}
