// The starter log read back: records, runs, and the explanation of each run.
// Input: the log's bytes. Whatever they hold, a text that begins with a
// record and holds no zero byte reads (a look-alike inside a message never
// refuses it), and reads alike with a zero-filled tail (a file cut while it
// grew), its records are in order of their place in the text and of
// their time, its runs cover every record once in
// order, and every run is explained with an outcome from the known set, in
// JSON that any parser takes.
#include <string>

#include "base/failure_cause.h"
#include "support/log_reader.h"
#include "support/run_explanation.h"
#include "fuzz/fuzz_support.h"

namespace {

bool KnownOutcome(const std::string& outcome) {
  if (outcome == "launched-client" || outcome == "started-installer" || outcome == "registered-only") return true;
  return outcome.compare(0, 8, "failed: ") == 0 && ks::FailureCauseNamed(outcome.substr(8)) != ks::FailureCause::kNone;
}

// A first record whose header holds, up to its message (CR LF or LF). The
// head's line ends are left to the reader, which turns them as it does a
// whole log's: turned twice, CR CR LF would read as LF.
bool BeginsWithRecord(const std::string& text) {
  std::string head = text.substr(0, 200);
  kslog::ParsedLog first;
  std::string error;
  size_t message = head.find("\nMessage: ");
  return message != std::string::npos && kslog::ParseLog(head.substr(0, message + 10), first, error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  kslog::ParsedLog log;
  std::string error;
  if (!kslog::ParseLog(text, log, error)) {
    KS_FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos);
    KS_FUZZ_CHECK(!BeginsWithRecord(text) || text.find('\0') != std::string::npos);
    return 0;
  }
  KS_FUZZ_CHECK(!log.records.empty());
  KS_FUZZ_CHECK(log.records[0].offset == 0);
  for (size_t i = 1; i < log.records.size(); ++i) {
    KS_FUZZ_CHECK(log.records[i].offset > log.records[i - 1].offset);
    KS_FUZZ_CHECK(kslog::RecordSeconds(log.records[i].time) >= kslog::RecordSeconds(log.records[i - 1].time));
  }
  for (const kslog::LogNote& note : log.notes) KS_FUZZ_CHECK(note.record < log.records.size());
  if (text.find('\0') == std::string::npos) {
    kslog::ParsedLog cut;
    KS_FUZZ_CHECK(kslog::ParseLog(text + std::string(4096, '\0'), cut, error));
    KS_FUZZ_CHECK(cut.records.size() == log.records.size() && cut.notes.size() == log.notes.size() + 1);
  }

  std::vector<kslog::LogRun> runs = kslog::SplitRuns(log.records);
  size_t next = 0;
  for (const kslog::LogRun& run : runs) {
    KS_FUZZ_CHECK(run.first == next && run.count > 0);
    next += run.count;
    std::vector<kslog::Fact> facts = kslog::ExplainRun(log, run);
    KS_FUZZ_CHECK(!facts.empty() && facts[0].first == "outcome" && KnownOutcome(facts[0].second));
    KS_FUZZ_CHECK(ksfuzz::IsJsonText(kslog::JsonObject(facts)));
  }
  KS_FUZZ_CHECK(next == log.records.size());
  return 0;
}
