#pragma once
// The error report sent after a crash: machine facts, the log, the access
// cache and the minidump, posted once to the maker's error-report server.
// Windows only; needs the socket library started.
#include <string>

#include "base/failure_cause.h"

// Collects everything and sends it. `last_error` is the crashing thread's last
// system error code, taken as the handler began (before the handler's own
// calls could change it). Failures are silent; no answer is read.
void SendErrorReport(unsigned long last_error);

// Collects the report text without sending it.
std::string CollectErrorReportText(unsigned long last_error);

// The report of a run that ended on a failure road: the same text without a
// dump, its last error 0 and its error text the cause's name.
std::string CollectFailureReportText(ks::FailureCause cause);

// POSTs the body to the error-report server; false when the request could not
// be sent (the answer itself is not looked at).
bool PostErrorReport(const std::string& body);
