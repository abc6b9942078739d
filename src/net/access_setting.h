#pragma once
// Access-setting records: one way of reaching a server through WinInet that
// worked once, kept as "host\tport\tsecure\tletter\tbypass\tproxy" lines
// joined by "\n" in the cache file's <__SERVER_ACCESS_SETTING1__> field.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace ksnet {

constexpr size_t kServerAccessSettingSize = 4096;  // the in-memory record text
constexpr size_t kAccessFieldLimit = 512;          // bypass list and proxy address

struct AccessSetting {
  std::string record;  // the whole line, for log lines
  char type = 'D';
  std::string bypass;  // "NULL" read as empty
  std::string proxy;   // "NULL" read as empty
};

// "%s\t%d\t%s\t%c\t%s\t%s"; null bypass or proxy become empty fields.
std::string FormatAccessRecord(const char* host, int port, bool secure, char type, const char* bypass,
                               const char* proxy);

// Splits at `separator` keeping empty pieces ("a\t\tb" has three fields).
std::vector<std::string> SplitFields(const std::string& text, char separator);

// The remembered setting for host and port: the first six-field record whose
// field 1 equals `host` or `address` (address may be empty) and whose field 2
// is the decimal text of `port`.
bool FindRememberedSetting(const std::string& records, const char* host, const char* address, int port,
                           AccessSetting* found);

enum class AddOutcome { kAdded, kReplaced, kUnchanged, kRefusedLineEnd, kTooLong };

// Remembers a setting that worked (logs its refusals under "HR::AddCache").
// One record per host (or its address) and port: an older one is replaced.
// `resolve` gives the address text of the host; it is asked only when the
// list holds records already.
AddOutcome AddAccessRecord(std::string* records, const char* host, int port, bool secure, char type,
                           const char* bypass, const char* proxy, const std::function<std::string()>& resolve);

// Forgets exactly this setting; false when it was not in the list.
bool RemoveAccessRecord(std::string* records, const char* host, int port, bool secure, char type,
                        const char* bypass, const char* proxy);

}  // namespace ksnet
