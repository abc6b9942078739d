// An error report read back as the report server receives it (the report
// text or the POST body). Input: the report's bytes. A report that reads
// is exactly the text the starter would build from what was read, and each
// attachment inflated to its size field (less the zero byte behind a text)
// within its bound, or names why not; its signature is one line. Run with a low -rss_limit_mb: no input
// makes the reader take more than its bounds.
#include <string>

#include "base/codec.h"
#include "crash/error_report_text.h"
#include "support/report_reader.h"
#include "support/report_signature.h"
#include "fuzz/fuzz_support.h"

namespace {

void CheckAttachment(const ReportAttachment& attachment, const std::string& bytes, const std::string& problem,
                     bool text, size_t largest) {
  KS_FUZZ_CHECK(bytes.size() <= largest);
  if (!attachment.present || attachment.compressed_size == 0 || !problem.empty()) {
    KS_FUZZ_CHECK(bytes.empty() && problem.find('\n') == std::string::npos);
    return;
  }
  KS_FUZZ_CHECK(bytes.size() + (text ? 1 : 0) == attachment.original_size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string content(reinterpret_cast<const char*>(data), size);
  ErrorReportContents report;
  std::string error;
  if (!ReadErrorReport(content, report, error)) {
    KS_FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos);
    return 0;
  }
  KS_FUZZ_CHECK(LooksLikeErrorReport(content));
  std::string text = content.compare(0, 6, "error=") == 0 ? Utility::URLDecode(content.c_str() + 6) : content;
  KS_FUZZ_CHECK(BuildErrorReportText(report.facts) == text);
  CheckAttachment(report.facts.log, report.log, report.log_problem, true, kLargestLogAttachment);
  CheckAttachment(report.facts.cache, report.cache, report.cache_problem, true, kLargestCacheAttachment);
  CheckAttachment(report.facts.dump, report.dump, report.dump_problem, false, kLargestDumpAttachment);
  std::string signature = SignatureOf(report, BuildsOf()).Key();
  KS_FUZZ_CHECK(!signature.empty() && signature.find_first_of("\r\n") == std::string::npos);
  return 0;
}
