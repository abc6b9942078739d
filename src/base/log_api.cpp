#include "base/log_api.h"

#include <atomic>

namespace kslog {
namespace {
std::atomic<Sink> g_sink{nullptr};
}

Sink SetSink(Sink sink) { return g_sink.exchange(sink); }

void Write(const char* operation, int level, const char* source_file, int line, const char* format, ...) {
  Sink sink = g_sink.load();
  if (sink == nullptr) return;
  va_list args;
  va_start(args, format);
  sink(operation, level, source_file, line, format, args);
  va_end(args);
}

}  // namespace kslog
