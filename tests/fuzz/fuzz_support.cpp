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

void Fail(const char* condition, const char* file, int line) {
  fprintf(stderr, "%s:%d: property failed: %s\n", file, line, condition);
  fflush(stderr);
  abort();
}

}  // namespace ksfuzz
