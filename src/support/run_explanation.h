#pragma once
// What one run of the starter did, read from its log records: how it ended,
// what it wanted and found, which access roads each request took, the
// download, what the window said last and what it started. For the people
// who run the meeting service and read a participant's log.
#include <string>
#include <utility>
#include <vector>

#include "support/fact_text.h"
#include "support/log_reader.h"

namespace kslog {

// The causes of "failed: <cause>", as the operator reads them.
extern const char* const kFailureCauses[];
extern const size_t kFailureCauseCount;

// The first fact is always "outcome".

// How a run ended: "launched-client", "started-installer", "registered-only"
// or "failed: <cause>" with cause one of server-unreachable, no-answer,
// proxy-refused, bad-size, incomplete-download, package-refused, disk,
// link-unreadable, interrupted.
// The log's notes on the run's records come with it.
std::vector<Fact> ExplainRun(const ParsedLog& log, const LogRun& run);

}  // namespace kslog
