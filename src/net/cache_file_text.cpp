#include "net/cache_file_text.h"

#include <cstring>

#include "base/tag_field.h"

namespace ksnet {

std::string CutAfterCacheEnd(const std::string& text) {
  size_t end = text.find(kCacheClosingTag);
  if (end == std::string::npos) return text;
  return text.substr(0, end + strlen(kCacheClosingTag));
}

bool RewriteCacheField(const std::string& text, const char* opening_tag, const char* closing_tag, const char* value,
                       std::string& updated) {
  std::string replaced;
  if (!Utility::ReplaceTagValue(text, value, opening_tag, closing_tag, replaced)) return false;
  replaced = CutAfterCacheEnd(replaced);
  // A damaged file whose cache ends before the field, or a value holding a
  // tag of its own, would lose the value to the cut or to the next read: that
  // is no write, whatever the file system says.
  std::string read_back;
  if (!Utility::GetTagValue(replaced.c_str(), opening_tag, closing_tag, read_back) || read_back != value)
    return false;
  updated.swap(replaced);
  return true;
}

std::string InitialCacheFileText() {
  return std::string("<__CACHE__>\n") + kServerAccessOpeningTag + kServerAccessClosingTag + "\n" + kCacheClosingTag;
}

}  // namespace ksnet
