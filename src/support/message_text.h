#pragma once
// Small readers of a log message's text, shared by the readers of a run.
#include <cstring>
#include <string>

namespace kslog {

inline bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, strlen(prefix), prefix) == 0;
}

// The text after `prefix` when it starts with it, else "".
inline std::string After(const std::string& text, const char* prefix) {
  return StartsWith(text, prefix) ? text.substr(strlen(prefix)) : std::string();
}

inline bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The text between `after` and `before` (or the end), or "".
inline std::string Between(const std::string& text, const char* after, const char* before) {
  size_t start = text.find(after);
  if (start == std::string::npos) return std::string();
  start += strlen(after);
  size_t end = before == nullptr ? std::string::npos : text.find(before, start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace kslog
