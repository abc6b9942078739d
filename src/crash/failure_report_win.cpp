#include "crash/failure_report_win.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "app/embedded_block.h"
#include "app/own_path_win.h"
#include "base/error_text.h"
#include "base/log_api.h"
#include "base/mapped_file_win.h"
#include "base/my_thread_win.h"
#include "base/wide_text.h"
#include "crash/error_report_text.h"
#include "crash/error_report_win.h"
#include "crash/failure_report_setting.h"

namespace {

const char kOperation[] = "FailureReport::Send";
// As start-up's own search: far beyond any starter.
const size_t kMaxProgramSize = 512u << 20;

// The stamp of this copy, whatever gave the run its meeting: a run from a
// link or a parameter file reports too when the copy was stamped to.
bool OwnStampAsksForFailureReports() {
  char path[3 * 512];
  GetOwnPath(path, sizeof path);
  ks::MappedFile program;
  if (path[0] == '\0' || !program.Open(Widen(path).c_str(), kMaxProgramSize)) return false;
  std::unique_ptr<char[]> settings(new char[kEmbeddedSettingsSize]);
  return ExtractEmbeddedSettings(program.data(), program.size(), settings.get(), kEmbeddedSettingsSize) ==
             EmbeddedBlockResult::kFound &&
         IsValidEmbeddedSettings(settings.get()) && AsksForFailureReports(settings.get());
}

class FailureReportThread : public MyThread {
 public:
  explicit FailureReportThread(ks::FailureCause cause) : cause_(cause) {}
  bool Run() override {
    if (!OwnStampAsksForFailureReports()) return false;
    bool sent = false;
    // Running out of memory for the attachments only loses the report.
    try {
      sent = PostErrorReport(BuildErrorReportBody(CollectFailureReportText(cause_)));
    } catch (...) {
    }
    KS_LOG(0, kOperation, "Failure report %s: %s", sent ? "sent" : "not sent", ks::FailureCauseName(cause_));
    return sent;
  }

 private:
  ks::FailureCause cause_;
};

// Never destroyed: the process may end while the report is still posted.
std::atomic<FailureReportThread*> g_report{nullptr};

}  // namespace

void StartFailureReport(ks::FailureCause cause) {
  std::unique_ptr<FailureReportThread> report(new FailureReportThread(cause));
  report->SetRaisePriority(false);
  if (report->Start() == nullptr) {
    int code = static_cast<int>(GetLastError());
    KS_LOG(0, kOperation, "Failed to start the failure report thread, error code: %d, error: %s", code,
           GetErrorText(code));
    return;
  }
  g_report.store(report.release());
}

void WaitForFailureReport(unsigned long limit_ms) {
  FailureReportThread* report = g_report.load();
  if (report != nullptr) WaitForSingleObject(report->GetThreadHandle(), limit_ms);
}
