#pragma once
// Starting programs, ending them by executable name and asking whether one
// runs. Texts are UTF-8; they become UTF-16 only for the system calls.
#include <windows.h>

namespace Utility {

// Starts `command_line` (the program is taken from the command line) in
// `working_directory` (null or empty: the caller's). The window is shown only
// when the command line names "Kestrelon.exe". When the process cannot be
// created, the shell is asked to "open" the program with its parameters
// instead; then no process id is given. True when either way started it.
bool StartProcess(const char* command_line, const char* working_directory, DWORD* process_id);

// Ends (exit code 0) every process whose lower-cased executable name occurs
// inside the lower-cased `name`, so "\"kestrelon.exe\"" ends kestrelon.exe
// in any letter case. The calling process itself is never ended. False when
// the name is empty or the process list cannot be read.
bool TerminateProcessByName(const char* name);

}  // namespace Utility

// A process with exactly this executable name runs (letter case ignored).
bool IsProcessRunning(const char* executable_name);
