#include "app/query_map.h"

#include <cstring>

#include "base/codec.h"

void QueryMap::Parse(const char* text, char separator, bool url_decode) {
  if (text == nullptr) return;
  const char* p = text;
  while (*p != '\0') {
    if (*p == separator) {
      ++p;
      continue;
    }
    const char* segment_end = strchr(p, separator);
    if (segment_end == nullptr) segment_end = p + strlen(p);
    size_t segment_length = static_cast<size_t>(segment_end - p);
    const char* equals = static_cast<const char*>(memchr(p, '=', segment_length));
    if (equals != nullptr && equals != p && static_cast<size_t>(equals - p) <= kMaxKeyLength) {
      std::string key(p, equals);
      std::string value(equals + 1, segment_end);
      if (url_decode) {
        key = Utility::URLDecode(key.c_str());
        value = Utility::URLDecode(value.c_str());
      }
      m_oPairs[key] = value;
    }
    p = segment_end;
  }
}

const std::string& QueryMap::GetValue(const char* key) const {
  static const std::string kEmpty;
  if (key == nullptr) return kEmpty;
  std::map<std::string, std::string>::const_iterator found = m_oPairs.find(key);
  return found == m_oPairs.end() ? kEmpty : found->second;
}
