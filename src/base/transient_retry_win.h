#pragma once
// On-access virus scanners, indexers and backup agents open a file that was
// just written, often alone, for a moment; an install that takes the first
// "in use" or "access denied" for an answer breaks on their machines. The
// file operations of an install go through this: a sharing or lock
// violation, or access denied where something is at the path, is tried
// again every 100 ms, for at most 10 s per run in all, and an operation that
// needed it says so in one log line. Only then its own failure road follows.
#include <windows.h>

#include <cstdio>

namespace ks {

const DWORD kTransientRetryIntervalMs = 100;
const DWORD kTransientRetryBudgetMs = 10000;

// Sharing and lock violations always; access denied only while a file is at
// `path`, or something whose deletion is pending (a new file in a folder the
// user may not write to, or a folder in a file's way, stays denied).
bool IsTransientFileError(DWORD error, const wchar_t* path);

// The retries of one operation on one file.
class TransientRetry {
 public:
  // `operation` names the log record ("Class::Operation"), `what` the act
  // ("open", "copy", "start", ...); `path` the file it touches.
  TransientRetry(const char* operation, const char* what, const wchar_t* path);
  TransientRetry(const TransientRetry&) = delete;
  TransientRetry& operator=(const TransientRetry&) = delete;

  // After a failed attempt with its system error: waits the interval and is
  // true when the error is transient and the run's retry time is not spent.
  bool Again(DWORD error);
  // Logs the one line of an operation that was tried again, and leaves the
  // last failure's error as the thread's last error when it did not succeed.
  void Done(bool succeeded);

 private:
  const char* operation_;
  const char* what_;
  const wchar_t* path_;
  DWORD first_error_;
  DWORD last_error_;
  bool held_;  // a transient error was met
  int tries_;
  DWORD waited_ms_;
};

// Calls attempt() (true on success, the thread's last error set on failure)
// until it succeeds or fails for good.
template <typename Attempt>
bool RetryTransient(const char* operation, const char* what, const wchar_t* path, Attempt attempt) {
  TransientRetry retry(operation, what, path);
  bool succeeded = attempt();
  while (!succeeded && retry.Again(GetLastError())) succeeded = attempt();
  retry.Done(succeeded);
  return succeeded;
}

// _wfopen with the retries; null (the system error as last error) when the
// file cannot be opened.
FILE* OpenFileRetrying(const char* operation, const wchar_t* path, const wchar_t* mode);

// The run's retry time, back to `ms` (tests that spend it on purpose).
void ResetTransientRetryBudget(DWORD ms = kTransientRetryBudgetMs);

}  // namespace ks
