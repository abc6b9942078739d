// Proxy texts. Input: a proxy script's list \0 a per-protocol server list \0
// a prefix (missing: "https=" and "socks="). Every entry is one piece of the
// list between ';', classified by its first characters, never longer than
// its 64-byte buffer unless marked too long; an element is the piece that
// starts at the prefix's first occurrence.
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "net/proxy_list.h"

namespace {

void CheckList(const std::string& list) {
  std::vector<ksnet::ProxyEntry> entries = ksnet::ParseProxyList(list.c_str());
  size_t pieces = 0;
  for (char c : list) pieces += c == ';';
  if (!list.empty() && list.back() != ';') ++pieces;
  KS_FUZZ_CHECK(entries.size() == pieces);
  for (const ksnet::ProxyEntry& entry : entries) {
    KS_FUZZ_CHECK(entry.text.find(';') == std::string::npos);
    KS_FUZZ_CHECK(entry.text.empty() || entry.text[0] != ' ');
    KS_FUZZ_CHECK(list.find(entry.text) != std::string::npos);
    switch (entry.kind) {
      case ksnet::ProxyEntryKind::kTooLong:
        KS_FUZZ_CHECK(entry.text.size() > ksnet::kProxyEntryLimit);
        break;
      case ksnet::ProxyEntryKind::kProxy:
        KS_FUZZ_CHECK(entry.text.compare(0, 6, "PROXY ") == 0 && entry.address == entry.text.substr(6));
        break;
      case ksnet::ProxyEntryKind::kSocks:
        KS_FUZZ_CHECK(entry.text.compare(0, 6, "SOCKS ") == 0 && entry.address == "socks=" + entry.text.substr(6));
        break;
      default:
        KS_FUZZ_CHECK(entry.address.empty());
        break;
    }
    if (entry.kind != ksnet::ProxyEntryKind::kTooLong) KS_FUZZ_CHECK(entry.text.size() <= ksnet::kProxyEntryLimit);
  }
}

void CheckElement(const std::string& server, const std::string& prefix) {
  std::string element = "stale";
  ksnet::ElementOutcome outcome = ksnet::ProxyServerElement(server.c_str(), prefix.c_str(), &element);
  size_t start = prefix.empty() ? std::string::npos : server.find(prefix);
  if (start == std::string::npos) {
    KS_FUZZ_CHECK(outcome == ksnet::ElementOutcome::kAbsent && element.empty());
    return;
  }
  size_t end = server.find(';', start);
  std::string expected = server.substr(start, end == std::string::npos ? std::string::npos : end - start);
  if (expected.size() > ksnet::kProxyEntryLimit) {
    KS_FUZZ_CHECK(outcome == ksnet::ElementOutcome::kTooLong && element.empty());
  } else {
    KS_FUZZ_CHECK(outcome == ksnet::ElementOutcome::kFound && element == expected);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts = ksfuzz::SplitInput(data, size, 3);
  CheckList(parts[0]);
  const std::string& server = ksfuzz::PartOr(parts, 1, parts[0]);
  if (parts.size() > 2) {
    CheckElement(server, parts[2].c_str());
  } else {
    CheckElement(server, "https=");
    CheckElement(server, "socks=");
  }
  return 0;
}
