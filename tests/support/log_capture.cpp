#include "support/log_capture.h"

#include "base/text.h"

namespace {
std::mutex g_mutex;
std::vector<CapturedRecord> g_records;

void CaptureSink(const char* operation, int level, const char* /*source*/, int /*line*/, const char* format,
                 va_list args) {
  CapturedRecord record{operation ? operation : "", level, ks::FormatV(format, args)};
  std::lock_guard<std::mutex> lock(g_mutex);
  g_records.push_back(record);
}
}  // namespace

LogCapture::LogCapture() {
  Clear();
  previous_ = kslog::SetSink(&CaptureSink);
}

LogCapture::~LogCapture() { kslog::SetSink(previous_); }

std::vector<CapturedRecord> LogCapture::Records() const {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_records;
}

bool LogCapture::Has(const std::string& message) const { return Count(message) > 0; }

int LogCapture::Count(const std::string& message) const {
  int count = 0;
  for (const CapturedRecord& r : Records())
    if (r.message == message) ++count;
  return count;
}

bool LogCapture::HasFragment(const std::string& fragment) const {
  for (const CapturedRecord& r : Records())
    if (r.message.find(fragment) != std::string::npos) return true;
  return false;
}

std::string LogCapture::Dump() const {
  std::string all;
  for (const CapturedRecord& r : Records()) all += r.operation + ": " + r.message + "\n";
  return all;
}

void LogCapture::Clear() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_records.clear();
}
