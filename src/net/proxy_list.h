#pragma once
// Proxy texts: the list a proxy script returns ("PROXY host:port; DIRECT;
// SOCKS host:port") and the per-protocol server list of the connection
// settings ("http=a:1;https=b:2;socks=c:3").
#include <cstddef>
#include <string>
#include <vector>

namespace ksnet {

constexpr size_t kProxyEntryLimit = 63;  // one entry or element (64-byte buffer)

enum class ProxyEntryKind { kProxy, kDirect, kSocks, kOther, kTooLong };

struct ProxyEntry {
  ProxyEntryKind kind = ProxyEntryKind::kOther;
  std::string text;     // the entry, leading spaces skipped
  std::string address;  // kProxy: after "PROXY "; kSocks: "socks=" + after "SOCKS "
};

// Entries in script order, split at ";", each classified by its first six
// characters (case-sensitive). An entry longer than 63 characters is kTooLong.
std::vector<ProxyEntry> ParseProxyList(const char* list);

enum class ElementOutcome { kFound, kAbsent, kTooLong };

// The element of a per-protocol list that starts with `prefix` ("https=" or
// "socks="), prefix included, up to the next ";" or the end.
ElementOutcome ProxyServerElement(const char* proxy_server, const char* prefix, std::string* element);

}  // namespace ksnet
