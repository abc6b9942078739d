#pragma once
// Times a running starter from outside by its log: every record is on disk
// when the starter's log call returns, so the moment a record appears is
// when the starter got there. Records are stamped in the clock of the
// system's process times (bench::Seconds), so they line up with the
// creation of the starter and of the programs it starts.
#include <windows.h>

#include <string>
#include <vector>

#include "base/file_data.h"
#include "base/text.h"
#include "bench_process_win.h"

namespace bench {

struct LogRecord {
  double seen = 0;  // seconds, the clock of ProcessTimes
  std::string function;
  std::string message;
};

inline double SecondsNow() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  return Seconds(now);
}

class LogWatch {
 public:
  // `log_path`: the starter's "KSSetup.txt" (it need not exist yet).
  explicit LogWatch(const std::string& log_path) : path_(log_path) {
    std::string folder = log_path.substr(0, log_path.find_last_of('\\'));
    change_ = FindFirstChangeNotificationW(Widen(folder.c_str()).c_str(), FALSE,
                                           FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE |
                                               FILE_NOTIFY_CHANGE_FILE_NAME);
  }
  ~LogWatch() {
    if (change_ != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change_);
  }
  LogWatch(const LogWatch&) = delete;
  LogWatch& operator=(const LogWatch&) = delete;

  // Waits up to `milliseconds` for the log to change (woken by the change
  // rather than polling hard, so the watching takes no processor time from
  // the starter), then takes in the records that are complete.
  void Poll(DWORD milliseconds) {
    if (change_ != INVALID_HANDLE_VALUE) {
      if (WaitForSingleObject(change_, milliseconds) == WAIT_OBJECT_0) FindNextChangeNotification(change_);
    } else {
      Sleep(milliseconds < 5 ? milliseconds : 5);
    }
    double now = SecondsNow();
    std::string text;
    if (!Utility::ReadWholeFile(path_.c_str(), text)) return;
    ks::CrLfToLf(text);  // a text file: its lines end in CR LF on disk
    if (text.size() <= consumed_) return;
    // A record ends with its message and an empty line; the next one starts
    // with its date.
    for (;;) {
      size_t function = text.find("Function: ", consumed_);
      size_t message = function == std::string::npos ? function : text.find("\nMessage: ", function);
      size_t end = message == std::string::npos ? message : text.find("\n\n", message + 10);
      if (end == std::string::npos) return;
      LogRecord record;
      record.seen = now;
      record.function = text.substr(function + 10, text.find('\n', function) - function - 10);
      record.message = text.substr(message + 10, end - message - 10);
      records_.push_back(record);
      consumed_ = end + 2;
    }
  }

  // The first record whose function is `function` (any when empty) and whose
  // message starts with `message`; null while there is none. Valid until the
  // next Poll.
  const LogRecord* Find(const char* function, const char* message) const {
    for (const LogRecord& record : records_)
      if ((function[0] == '\0' || record.function == function) &&
          record.message.compare(0, strlen(message), message) == 0)
        return &record;
    return nullptr;
  }

  // Polls until such a record arrives (a copy goes to *found), `timeout_ms`
  // passes or `process` (may be null) has ended.
  bool WaitFor(const char* function, const char* message, DWORD timeout_ms, HANDLE process, LogRecord* found) {
    DWORD start = GetTickCount();
    for (;;) {
      const LogRecord* record = Find(function, message);
      if (record != nullptr) {
        *found = *record;
        return true;
      }
      bool ended = process != nullptr && WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
      if (ended || GetTickCount() - start >= timeout_ms) {
        Poll(0);
        record = Find(function, message);
        if (record != nullptr) *found = *record;
        return record != nullptr;
      }
      Poll(20);
    }
  }

 private:
  std::string path_;
  HANDLE change_;
  size_t consumed_ = 0;
  std::vector<LogRecord> records_;
};

}  // namespace bench
