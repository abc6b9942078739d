#include "net/cache_file_text.h"

#include <cstring>

namespace ksnet {

std::string CutAfterCacheEnd(const std::string& text) {
  size_t end = text.find(kCacheClosingTag);
  if (end == std::string::npos) return text;
  return text.substr(0, end + strlen(kCacheClosingTag));
}

std::string InitialCacheFileText() {
  return std::string("<__CACHE__>\n") + kServerAccessOpeningTag + kServerAccessClosingTag + "\n" + kCacheClosingTag;
}

}  // namespace ksnet
