#include "support/report_signature.h"

#include "base/failure_cause.h"
#include "base/text.h"
#include "support/log_reader.h"
#include "support/run_explanation.h"
#include "support/stack_walk.h"
#include "support/symbol_name.h"

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

// A dump names its modules, and a build its functions, as they like; a
// signature is one line.
std::string OneLineName(std::string name) {
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  return name;
}

SignatureFrame FrameIn(const std::string& module_path, uint64_t offset, const std::string& starter_file) {
  SignatureFrame frame;
  frame.module = OneLineName(FileName(module_path));
  if (SameName(frame.module, starter_file)) frame.module = "starter";
  frame.offset = offset;
  return frame;
}

// An address outside every module differs from run to run.
SignatureFrame FrameAt(const MinidumpSummary& dump, uint64_t address, const std::string& starter_file) {
  const MinidumpModule* module = ModuleHolding(dump, address);
  if (module == nullptr) {
    SignatureFrame frame;
    frame.module = "(no module)";
    return frame;
  }
  return FrameIn(module->name, address - module->base, starter_file);
}

// A fallback frame is a guess, which may differ between alike crashes and
// split their group, unless it landed in a given build just after a call.
bool SureOf(const kssupport::StackFrame& frame) {
  return frame.found == kssupport::FrameFound::kContext || frame.found == kssupport::FrameFound::kUnwindTable ||
         frame.build >= 0;
}

// The first frames of the crashing stack in the starter's own module.
std::vector<SignatureFrame> OwnFrames(const std::string& dump, const std::vector<MinidumpModule>& modules,
                                      const BuildsOf& builds_of, const std::string& starter_file) {
  std::vector<const kssupport::PeImage*> builds;
  if (builds_of) builds = builds_of(modules);
  std::vector<kssupport::StackFrame> stack;
  std::string error;
  std::vector<SignatureFrame> frames;
  if (!kssupport::WalkCrashingStack(reinterpret_cast<const unsigned char*>(dump.data()), dump.size(), builds, stack,
                                    error))
    return frames;
  for (const kssupport::StackFrame& walked : stack) {
    if (frames.size() == kSignatureFrames) break;
    if (walked.module.empty() || !SureOf(walked)) continue;
    SignatureFrame frame = FrameIn(walked.module, walked.offset, starter_file);
    if (frame.module != "starter") continue;
    if (!walked.function.empty()) frame.function = OneLineName(kssupport::ReadableName(walked.function));
    frames.push_back(frame);
  }
  return frames;
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

ReportSignature SignatureOf(const ErrorReportContents& report, const BuildsOf& builds_of) {
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
  signature.frames = OwnFrames(report.dump, dump.modules, builds_of, report.facts.current_file);
  if (signature.frames.empty())
    signature.frames.push_back(FrameAt(dump, dump.exception_address, report.facts.current_file));
  return signature;
}
