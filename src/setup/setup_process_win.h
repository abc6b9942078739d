#pragma once
// The message boxes of the package processing step. They go through this
// pointer so that tests can replace them with something that does not wait
// for a user; by default a system-modal box over the active window with an
// empty caption and only an OK button.
typedef void (*SetupMessageBoxFunction)(const char* text);
extern SetupMessageBoxFunction g_pShowSetupMessage;
