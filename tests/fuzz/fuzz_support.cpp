#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>

#include "base/log_api.h"

namespace ksfuzz {
namespace {

// Every log record is formatted (so a format that does not match its
// arguments shows under the sanitizers) and then dropped.
void FormatAndDrop(const char* operation, int, const char*, int, const char* format, va_list args) {
  char line[2048];
  vsnprintf(line, sizeof line, format, args);
  volatile char first = line[0];
  volatile char name = operation != nullptr ? operation[0] : '\0';
  (void)first;
  (void)name;
}

struct SinkInstaller {
  SinkInstaller() { kslog::SetSink(&FormatAndDrop); }
} g_sink_installer;

}  // namespace

std::vector<std::string> SplitInput(const uint8_t* data, size_t size, size_t max_parts) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && parts.size() < max_parts) {
      parts.emplace_back();
      continue;
    }
    parts.back().push_back(static_cast<char>(data[i]));
  }
  return parts;
}

const std::string& PartOr(const std::vector<std::string>& parts, size_t index, const std::string& fallback) {
  return index < parts.size() ? parts[index] : fallback;
}

bool IsJsonText(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20) return false;
    size_t length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    uint32_t point = length == 1 ? c : c & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
      unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = point << 6 | (next & 0x3F);
    }
    static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < kSmallest[length] || point > 0x10FFFF || (point >= 0xD800 && point < 0xE000)) return false;
    i += length;
  }
  return true;
}

void Fail(const char* condition, const char* file, int line) {
  fprintf(stderr, "%s:%d: property failed: %s\n", file, line, condition);
  fflush(stderr);
  abort();
}

}  // namespace ksfuzz
