#pragma once
// Writes "CRASH.DMP" through the debugging help library, loaded at run time.
// Windows only.
#include <windows.h>

// Minidump content: data segments, scanned memory and indirectly referenced
// memory.
const DWORD kCrashDumpType = 81;

// Writes a minidump of the process with the crashing thread's exception into
// the open file. False when no library with "MiniDumpWriteDump" loads or the
// dump fails.
bool WriteMiniDump(HANDLE file, EXCEPTION_POINTERS* exception);
