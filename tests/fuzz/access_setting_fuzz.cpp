// Access-setting records as the cache file holds them. Input: records \0
// host \0 port \0 bypass \0 proxy \0 flags (missing pieces: empty; port as
// atoi reads it). Looking up, remembering and forgetting a setting over any
// record list: the list never grows past its limit, a remembered setting is
// the one found next, and a forgotten one is gone.
#include <string>
#include <vector>

#include "base/text.h"
#include "fuzz/fuzz_support.h"
#include "net/access_setting.h"

namespace {

bool Clean(const std::string& field) { return field.find_first_of("\t\n") == std::string::npos; }

std::string Join(const std::vector<std::string>& pieces, char separator) {
  std::string text;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) text += separator;
    text += pieces[i];
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts = ksfuzz::SplitInput(data, size, 6);
  const std::string empty;
  const std::string records = parts[0];
  const std::string host = ksfuzz::PartOr(parts, 1, empty);
  const int port = ks::ParseInt(ksfuzz::PartOr(parts, 2, empty).c_str());
  const std::string bypass = ksfuzz::PartOr(parts, 3, empty);
  const std::string proxy = ksfuzz::PartOr(parts, 4, empty);
  const std::string& flags = ksfuzz::PartOr(parts, 5, empty);
  const unsigned flag = flags.empty() ? 0 : static_cast<unsigned char>(flags[0]);
  const bool secure = (flag & 1) != 0;
  const char type = "DPNS"[(flag >> 1) & 3];
  const std::string address = (flag & 8) != 0 ? std::string("10.0.0.1") : std::string();

  KS_FUZZ_CHECK(Join(ksnet::SplitFields(records, '\n'), '\n') == records);

  ksnet::AccessSetting found;
  if (ksnet::FindRememberedSetting(records, host.c_str(), address.c_str(), port, &found)) {
    KS_FUZZ_CHECK(records.find(found.record) != std::string::npos);
    KS_FUZZ_CHECK(ksnet::SplitFields(found.record, '\t').size() == 6);
  }

  std::string updated = records;
  bool resolved = false;
  ksnet::AddOutcome outcome = ksnet::AddAccessRecord(&updated, host.c_str(), port, secure, type, bypass.c_str(),
                                                     proxy.c_str(), [&]() {
                                                       resolved = true;
                                                       return address;
                                                     });
  if (records.empty()) KS_FUZZ_CHECK(!resolved);
  const std::string record = ksnet::FormatAccessRecord(host.c_str(), port, secure, type, bypass.c_str(), proxy.c_str());
  switch (outcome) {
    case ksnet::AddOutcome::kAdded:
    case ksnet::AddOutcome::kReplaced:
      KS_FUZZ_CHECK(updated.size() + 127 <= ksnet::kServerAccessSettingSize);
      break;
    default:
      KS_FUZZ_CHECK(updated == records);
      break;
  }
  if (outcome == ksnet::AddOutcome::kRefusedLineEnd)
    KS_FUZZ_CHECK(bypass.find('\n') != std::string::npos || proxy.find('\n') != std::string::npos);

  const bool clean = Clean(host) && Clean(bypass) && Clean(proxy);
  if (clean && (outcome == ksnet::AddOutcome::kAdded || outcome == ksnet::AddOutcome::kReplaced)) {
    ksnet::AccessSetting remembered;
    KS_FUZZ_CHECK(ksnet::FindRememberedSetting(updated, host.c_str(), "", port, &remembered));
    KS_FUZZ_CHECK(remembered.record == record && remembered.type == type);
    KS_FUZZ_CHECK(remembered.bypass == (bypass == "NULL" ? std::string() : bypass));
    KS_FUZZ_CHECK(remembered.proxy == (proxy == "NULL" ? std::string() : proxy));

    std::string forgotten = updated;
    KS_FUZZ_CHECK(ksnet::RemoveAccessRecord(&forgotten, host.c_str(), port, secure, type, bypass.c_str(),
                                            proxy.c_str()));
    KS_FUZZ_CHECK(forgotten.size() < updated.size());
    KS_FUZZ_CHECK(!ksnet::RemoveAccessRecord(&forgotten, host.c_str(), port, secure, type, bypass.c_str(),
                                             proxy.c_str()));
  }
  return 0;
}
