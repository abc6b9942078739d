#include "base/run_failure.h"

#include <atomic>

namespace ks {
namespace {

std::atomic<int> g_cause{static_cast<int>(FailureCause::kNone)};
std::atomic<RunFailureListener> g_listener{nullptr};

}  // namespace

void RecordRunFailure(FailureCause cause) {
  int none = static_cast<int>(FailureCause::kNone);
  if (cause == FailureCause::kNone || !g_cause.compare_exchange_strong(none, static_cast<int>(cause))) return;
  RunFailureListener listener = g_listener.load();
  if (listener != nullptr) listener(cause);
}

FailureCause RecordedRunFailure() { return static_cast<FailureCause>(g_cause.load()); }

void SetRunFailureListener(RunFailureListener listener) { g_listener.store(listener); }

void ResetRunFailure() {
  g_cause.store(static_cast<int>(FailureCause::kNone));
  g_listener.store(nullptr);
}

}  // namespace ks
