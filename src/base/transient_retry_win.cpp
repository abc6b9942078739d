#include "base/transient_retry_win.h"

#include <atomic>
#include <string>

#include "base/error_text.h"
#include "base/log_api.h"
#include "base/wide_text.h"

namespace ks {
namespace {

// Shared by every thread of the run: ten seconds in all, not per file.
std::atomic<long> g_budget_ms(static_cast<long>(kTransientRetryBudgetMs));

// Takes one interval from the run's retry time; false when it is spent.
bool TakeInterval() {
  long left = g_budget_ms.load();
  const long interval = static_cast<long>(kTransientRetryIntervalMs);
  while (left >= interval) {
    if (g_budget_ms.compare_exchange_weak(left, left - interval)) return true;
  }
  return false;
}

}  // namespace

bool IsTransientFileError(DWORD error, const wchar_t* path) {
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return true;
  if (error != ERROR_ACCESS_DENIED || path == nullptr || path[0] == L'\0') return false;
  // A folder where a file should be stays in the way.
  DWORD attributes = GetFileAttributesW(path);
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  // A file or folder whose deletion is pending is there and denies every open.
  return GetLastError() == ERROR_ACCESS_DENIED;
}

TransientRetry::TransientRetry(const char* operation, const char* what, const wchar_t* path)
    : operation_(operation),
      what_(what),
      path_(path),
      first_error_(0),
      last_error_(0),
      held_(false),
      tries_(0),
      waited_ms_(0) {}

bool TransientRetry::Again(DWORD error) {
  last_error_ = error;
  if (tries_ == 0) first_error_ = error;
  if (!IsTransientFileError(error, path_)) return false;
  held_ = true;
  if (!TakeInterval()) return false;
  Sleep(kTransientRetryIntervalMs);
  waited_ms_ += kTransientRetryIntervalMs;
  ++tries_;
  return true;
}

void TransientRetry::Done(bool succeeded) {
  if (held_) {
    std::string path = path_ != nullptr ? Narrow(path_) : std::string();
    int code = static_cast<int>(first_error_);
    KS_LOG(succeeded ? 0 : 3, operation_,
           "%s %s: held by another program (error code: %d, error: %s), %s after %d more tries in %lu ms", what_,
           path.c_str(), code, GetErrorTextInLine(code).c_str(), succeeded ? "done" : "given up", tries_,
           static_cast<unsigned long>(waited_ms_));
  }
  if (!succeeded) SetLastError(last_error_);
}

FILE* OpenFileRetrying(const char* operation, const wchar_t* path, const wchar_t* mode) {
  FILE* file = nullptr;
  RetryTransient(operation, "open", path, [&] {
    file = _wfopen(path, mode);
    return file != nullptr;
  });
  return file;
}

void ResetTransientRetryBudget(DWORD ms) { g_budget_ms.store(static_cast<long>(ms)); }

}  // namespace ks
