#pragma once
// Installs the process's unhandled-exception handler (armed once per process).
// Called at start-up and at the start of every worker thread.
void InstallCrashHandler(const char* report_label);
