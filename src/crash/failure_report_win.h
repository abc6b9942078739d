#pragma once
// The report of a run that ended on a failure road, for a starter copy whose
// stamp asks for it (crash/failure_report_setting.h): the error report's
// text, fields and attachments without a dump, naming the run's cause. Sent
// once, on a thread of its own, so the window's failure text never waits.
// Windows only; needs the socket library started.
#include "base/failure_cause.h"

// The run's failure listener (base/run_failure.h): starts the report.
void StartFailureReport(ks::FailureCause cause);

// Gives a report still on its way up to `limit_ms` to go out. Called as the
// process ends; returns at once when no report was started.
void WaitForFailureReport(unsigned long limit_ms);
