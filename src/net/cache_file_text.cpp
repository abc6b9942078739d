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
  updated = CutAfterCacheEnd(replaced);
  return true;
}

std::string InitialCacheFileText() {
  return std::string("<__CACHE__>\n") + kServerAccessOpeningTag + kServerAccessClosingTag + "\n" + kCacheClosingTag;
}

}  // namespace ksnet
