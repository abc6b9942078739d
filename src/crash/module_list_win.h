#pragma once
// Writes the module list of "ERRORLOG.TXT" by walking the process's address
// space. Windows only.
#include <windows.h>

#include <cstddef>

// Writes every loaded image, in ascending order of load address, then the end
// line, as UTF-16 text into the open file. False when a write failed.
bool WriteModuleList(HANDLE file, const char* file_name);

// A file's last-write time (UTC) as the module list shows it: local time,
// passed through the two-second resolution of the file-system date format.
bool FormatModuleFileTime(const FILETIME& last_write, char* text, size_t capacity);
