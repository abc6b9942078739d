// The query map. Input: one control byte (bit 0: URL-decode, bit 1: ';'
// instead of '&') and the query text. The map must hold exactly the pairs
// the rules give: runs of separators count as one, a segment needs a key of
// 1 to 511 bytes before its first '=', the last occurrence of a key wins.
#include <cstring>
#include <map>
#include <string>

#include "app/query_map.h"
#include "base/codec.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool url_decode = (data[0] & 1) != 0;
  const char separator = (data[0] & 2) != 0 ? ';' : '&';
  const char* rest = reinterpret_cast<const char*>(data + 1);
  const std::string text(rest, strnlen(rest, size - 1));

  QueryMap query;
  query.Parse(text.c_str(), separator, url_decode);

  std::map<std::string, std::string> expected;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    std::string segment = text.substr(start, end - start);
    size_t equals = segment.find('=');
    if (equals != std::string::npos && equals > 0 && equals <= QueryMap::kMaxKeyLength) {
      std::string key = segment.substr(0, equals);
      std::string value = segment.substr(equals + 1);
      if (url_decode) {
        key = Utility::URLDecode(key.c_str());
        value = Utility::URLDecode(value.c_str());
      }
      expected[key] = value;
    }
    start = end + 1;
  }
  KS_FUZZ_CHECK(query.Size() == expected.size());
  for (const auto& pair : expected) {
    if (pair.first.find('\0') != std::string::npos) continue;  // "%00" in a key: not reachable by name
    KS_FUZZ_CHECK(query.GetValue(pair.first.c_str()) == pair.second);
  }
  KS_FUZZ_CHECK(query.GetValue(nullptr).empty());

  // Parsing the same text again changes nothing.
  query.Parse(text.c_str(), separator, url_decode);
  KS_FUZZ_CHECK(query.Size() == expected.size());
  return 0;
}
