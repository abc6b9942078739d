#include "support/report_signature.h"

#include "base/failure_cause.h"
#include "base/text.h"
#include "support/log_reader.h"
#include "support/run_explanation.h"

namespace {

std::string Trimmed(const std::string& text) {
  size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) return std::string();
  return text.substr(start, text.find_last_not_of(" \t\r\n") - start + 1);
}

// The last part of a Windows or Unix path.
std::string FileName(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The outcome of the last run of a log, or "" when it does not read.
std::string LastOutcome(const std::string& log_text) {
  kslog::ParsedLog log;
  std::string error;
  if (!kslog::ParseLog(log_text, log, error)) return std::string();
  std::vector<kslog::LogRun> runs = kslog::SplitRuns(log.records);
  if (runs.empty()) return std::string();
  return kslog::ExplainRun(log, runs.back())[0].second;
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
    if (x != y) return false;
  }
  return true;
}

}  // namespace

std::string SignatureFrame::Text() const {
  if (!function.empty()) return module + "!" + function;
  return module + ks::Format("+0x%llX", static_cast<unsigned long long>(offset));
}

std::string ReportSignature::Key() const {
  if (!crash) return outcome;
  std::string key = "crash: " + outcome;
  for (size_t i = 0; i < frames.size(); ++i) key += (i == 0 ? " at " : " < ") + frames[i].Text();
  return key;
}

std::string NamedFailure(const ErrorReportFacts& facts) {
  ks::FailureCause cause = ks::FailureCauseNamed(Trimmed(facts.last_error_text));
  return cause == ks::FailureCause::kNone ? std::string() : kslog::Failed(cause);
}

SignatureFrame FrameAt(const MinidumpSummary& dump, uint64_t address, const std::string& starter_file) {
  SignatureFrame frame;
  const MinidumpModule* module = ModuleHolding(dump, address);
  if (module == nullptr) {
    // An address outside every module differs from run to run.
    frame.module = "(no module)";
    return frame;
  }
  frame.module = FileName(module->name);
  // A dump names its modules as it likes; a signature is one line.
  for (char& c : frame.module)
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  if (SameName(frame.module, starter_file)) frame.module = "starter";
  frame.offset = address - module->base;
  return frame;
}

ReportSignature SignatureOf(const ErrorReportContents& report, const std::vector<SignatureFrame>& stack) {
  ReportSignature signature;
  if (!report.facts.dump.present) {
    signature.outcome = NamedFailure(report.facts);
    if (signature.outcome.empty() && !report.log.empty()) signature.outcome = LastOutcome(report.log);
    if (signature.outcome.empty()) signature.outcome = "no cause named, no log that reads";
    return signature;
  }
  signature.crash = true;
  MinidumpSummary dump;
  std::string error;
  if (report.dump.empty()) {
    signature.outcome = report.dump_problem.empty() ? "(no dump attached)" : "(the dump does not read)";
    return signature;
  }
  if (!ReadMinidump(reinterpret_cast<const unsigned char*>(report.dump.data()), report.dump.size(), dump, error)) {
    signature.outcome = "(the dump is no minidump that reads)";
    return signature;
  }
  if (!dump.has_exception) {
    signature.outcome = "(no exception in the dump)";
    return signature;
  }
  const char* name = ExceptionName(dump.exception_code);
  signature.outcome = ks::Format("0x%08X", dump.exception_code) + (name != nullptr ? std::string(" ") + name : "");
  for (const SignatureFrame& frame : stack)
    if (frame.module == "starter" && signature.frames.size() < kSignatureFrames) signature.frames.push_back(frame);
  if (signature.frames.empty())
    signature.frames.push_back(FrameAt(dump, dump.exception_address, report.facts.current_file));
  return signature;
}
