#pragma once
// "version.txt" of an installed client: its first whitespace-delimited word
// is the installed version.
#include <string>

// False when the file cannot be opened. A word longer than `limit` bytes
// cannot be a version and reads as an empty one; the file is read no
// further than that, whatever its size.
bool ReadVersionFile(const char* path, size_t limit, std::string* version);
