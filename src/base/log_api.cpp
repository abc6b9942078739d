#include "base/log_api.h"

#include <mutex>

namespace kslog {
namespace {
std::mutex g_sink_mutex;
Sink g_sink = nullptr;

Sink CurrentSink() {
  std::lock_guard<std::mutex> lock(g_sink_mutex);
  return g_sink;
}
}  // namespace

Sink SetSink(Sink sink) {
  std::lock_guard<std::mutex> lock(g_sink_mutex);
  Sink previous = g_sink;
  g_sink = sink;
  return previous;
}

void Write(const char* operation, int level, const char* source_file, int line, const char* format, ...) {
  Sink sink = CurrentSink();
  if (sink == nullptr) return;
  va_list args;
  va_start(args, format);
  sink(operation, level, source_file, line, format, args);
  va_end(args);
}

}  // namespace kslog
