#pragma once
// Captures what the code under test logs through KS_LOG, for assertions on
// the exact log lines. One capture at a time; records are kept formatted.
#include <mutex>
#include <string>
#include <vector>

#include "base/log_api.h"

struct CapturedRecord {
  std::string operation;
  int level;
  std::string message;
};

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<CapturedRecord> Records() const;
  // True when some record's message equals `message` exactly.
  bool Has(const std::string& message) const;
  // True when some record's message contains `fragment`.
  bool HasFragment(const std::string& fragment) const;
  // Number of records whose message equals `message`.
  int Count(const std::string& message) const;
  // All messages joined by "\n", for failure output.
  std::string Dump() const;
  void Clear();

 private:
  kslog::Sink previous_;
};
