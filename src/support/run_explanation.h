#pragma once
// What one run of the starter did, read from its log records: how it ended,
// what it wanted and found, which access roads each request took, the
// download, what the window said last and what it started. For the people
// who run the meeting service and read a participant's log.
#include <string>
#include <utility>
#include <vector>

#include "base/failure_cause.h"
#include "support/fact_text.h"
#include "support/log_reader.h"

namespace kslog {

// "failed: <cause>", as the operator reads it.
std::string Failed(ks::FailureCause cause);

// The first fact is always "outcome".

// How a run ended: "launched-client", "started-installer", "registered-only"
// or "failed: <cause>" with a cause's name from base/failure_cause.h.
// The log's notes on the run's records come with it.
std::vector<Fact> ExplainRun(const ParsedLog& log, const LogRun& run);

}  // namespace kslog
