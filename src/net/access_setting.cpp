#include "net/access_setting.h"

#include <cstring>

#include "base/log_api.h"
#include "base/text.h"

namespace ksnet {
namespace {

const char kAddOperation[] = "HR::AddCache";

// Whole-line comparison: a record for host "h" is not "present" merely
// because a record for host "ah" ends with the same text.
bool HasRecord(const std::string& records, const std::string& record) {
  for (const std::string& line : SplitFields(records, '\n'))
    if (line == record) return true;
  return false;
}

std::string FieldValue(const std::string& field) { return field == "NULL" ? std::string() : field; }

std::string JoinRecords(const std::vector<std::string>& records) {
  std::string text;
  for (const std::string& record : records) {
    if (record.empty()) continue;
    if (!text.empty()) text += '\n';
    text += record;
  }
  return text;
}

}  // namespace

std::string FormatAccessRecord(const char* host, int port, bool secure, char type, const char* bypass,
                               const char* proxy) {
  return ks::Format("%s\t%d\t%s\t%c\t%s\t%s", host ? host : "", port, ks::YesNo(secure), type,
                    bypass ? bypass : "", proxy ? proxy : "");
}

std::vector<std::string> SplitFields(const std::string& text, char separator) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t next = text.find(separator, start);
    if (next == std::string::npos) {
      fields.push_back(text.substr(start));
      return fields;
    }
    fields.push_back(text.substr(start, next - start));
    start = next + 1;
  }
}

bool FindRememberedSetting(const std::string& records, const char* host, const char* address, int port,
                           AccessSetting* found) {
  if (host == nullptr || records.empty()) return false;
  std::string port_text = ks::Format("%d", port);
  for (const std::string& record : SplitFields(records, '\n')) {
    std::vector<std::string> fields = SplitFields(record, '\t');
    if (fields.size() != 6) continue;
    bool host_matches = fields[0] == host || (address != nullptr && address[0] != '\0' && fields[0] == address);
    if (!host_matches || fields[1] != port_text) continue;
    if (found != nullptr) {
      found->record = record;
      found->type = fields[3].empty() ? '\0' : fields[3][0];
      found->bypass = FieldValue(fields[4]);
      found->proxy = FieldValue(fields[5]);
    }
    return true;
  }
  return false;
}

AddOutcome AddAccessRecord(std::string* records, const char* host, int port, bool secure, char type,
                           const char* bypass, const char* proxy, const std::function<std::string()>& resolve) {
  if (records == nullptr || host == nullptr) return AddOutcome::kUnchanged;
  bool bypass_line_end = bypass != nullptr && strchr(bypass, '\n') != nullptr;
  bool proxy_line_end = proxy != nullptr && strchr(proxy, '\n') != nullptr;
  if (bypass_line_end || proxy_line_end) {
    // A line end would split the record list.
    if (bypass != nullptr && bypass[0] != '\0')
      KS_LOG(0, kAddOperation, "Do not cache this setting sByPass = %s", bypass);
    if (proxy != nullptr && proxy[0] != '\0')
      KS_LOG(0, kAddOperation, "Do not cache this setting sProxyAddress = %s", proxy);
    return AddOutcome::kRefusedLineEnd;
  }
  size_t b = bypass ? strlen(bypass) : 0;
  size_t p = proxy ? strlen(proxy) : 0;
  size_t s = records->size();
  // The record holds both fields, so its length bounds the list with them.
  std::string record = FormatAccessRecord(host, port, secure, type, bypass, proxy);
  if (b > kAccessFieldLimit || p > kAccessFieldLimit || s + record.size() + 128 > kServerAccessSettingSize) {
    KS_LOG(0, kAddOperation, "Too long: iByPassLength = %d, iProxyAddressLength = %d, iServerAccessSettingLength = %d",
           static_cast<int>(b), static_cast<int>(p), static_cast<int>(s));
    return AddOutcome::kTooLong;
  }
  if (HasRecord(*records, record)) return AddOutcome::kUnchanged;

  std::vector<std::string> lines = SplitFields(*records, '\n');
  std::string address;
  if (!records->empty() && resolve) address = resolve();
  for (std::string& line : lines) {
    std::vector<std::string> fields = SplitFields(line, '\t');
    if (fields.size() != 6) continue;
    bool host_matches = fields[0] == host || (!address.empty() && fields[0] == address);
    if (!host_matches || ks::ParseInt(fields[1].c_str()) != port) continue;
    line = record;
    *records = JoinRecords(lines);
    return AddOutcome::kReplaced;
  }
  if (!records->empty()) *records += '\n';
  *records += record;
  return AddOutcome::kAdded;
}

bool RemoveAccessRecord(std::string* records, const char* host, int port, bool secure, char type,
                        const char* bypass, const char* proxy) {
  if (records == nullptr) return false;
  std::string record = FormatAccessRecord(host, port, secure, type, bypass, proxy);
  if (!HasRecord(*records, record)) return false;
  std::vector<std::string> kept;
  for (const std::string& line : SplitFields(*records, '\n'))
    if (line != record) kept.push_back(line);
  *records = JoinRecords(kept);
  return true;
}

}  // namespace ksnet
