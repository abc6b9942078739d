#include "net/proxy_list.h"

#include <cstring>

namespace ksnet {

std::vector<ProxyEntry> ParseProxyList(const char* list) {
  std::vector<ProxyEntry> entries;
  if (list == nullptr) return entries;
  const char* cursor = list;
  while (*cursor != '\0') {
    const char* end = strchr(cursor, ';');
    size_t length = end != nullptr ? static_cast<size_t>(end - cursor) : strlen(cursor);
    std::string text(cursor, length);
    cursor = end != nullptr ? end + 1 : cursor + length;
    size_t first = text.find_first_not_of(' ');
    text.erase(0, first == std::string::npos ? text.size() : first);

    ProxyEntry entry;
    entry.text = text;
    if (text.size() > kProxyEntryLimit) {
      entry.kind = ProxyEntryKind::kTooLong;
    } else if (text.compare(0, 6, "PROXY ") == 0) {
      entry.kind = ProxyEntryKind::kProxy;
      entry.address = text.substr(6);
    } else if (text.compare(0, 6, "DIRECT") == 0) {
      entry.kind = ProxyEntryKind::kDirect;
    } else if (text.compare(0, 6, "SOCKS ") == 0) {
      entry.kind = ProxyEntryKind::kSocks;
      entry.address = "socks=" + text.substr(6);
    }
    entries.push_back(entry);
  }
  return entries;
}

ElementOutcome ProxyServerElement(const char* proxy_server, const char* prefix, std::string* element) {
  if (element != nullptr) element->clear();
  if (proxy_server == nullptr || prefix == nullptr || prefix[0] == '\0') return ElementOutcome::kAbsent;
  const char* start = strstr(proxy_server, prefix);
  if (start == nullptr) return ElementOutcome::kAbsent;
  const char* end = strchr(start, ';');
  size_t length = end != nullptr ? static_cast<size_t>(end - start) : strlen(start);
  if (length > kProxyEntryLimit) return ElementOutcome::kTooLong;
  if (element != nullptr) element->assign(start, length);
  return ElementOutcome::kFound;
}

}  // namespace ksnet
