#pragma once
// The running program's folder, where the crash handler writes its files and
// looks for its debugging library. Uses no heap: it runs while the process
// may be damaged. Windows only.
#include <cstddef>

// The folder with its trailing backslash, in at most `capacity` characters;
// false (folder empty) when the system cannot give the program's path or it
// does not fit.
bool ProgramFolder(wchar_t* folder, size_t capacity);
