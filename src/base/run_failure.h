#pragma once
// The cause of this run's failure, recorded where the run fails. The first
// cause recorded is the run's; a later one (a window closed after the
// failure text) changes nothing.
#include "base/failure_cause.h"

namespace ks {

void RecordRunFailure(FailureCause cause);
FailureCause RecordedRunFailure();

// Told the run's cause once, on the thread that recorded it; set by start-up
// (which sends the failure report) before any worker runs.
typedef void (*RunFailureListener)(FailureCause cause);
void SetRunFailureListener(RunFailureListener listener);

// Back to a run that has not failed, without a listener (for tests).
void ResetRunFailure();

}  // namespace ks
