#include "crash/crash_handler.h"

// Placeholder until crash capture is built: nothing is installed, so an
// unhandled exception gets the platform's default handling.
void InstallCrashHandler(const char* /*report_label*/) {}
