#pragma once
// The running starter's own program file.
#include <cstddef>

// The program's full path (at most 511 wide characters) in UTF-8; empty when
// the system cannot give it or its UTF-8 form does not fit `capacity` bytes.
void GetOwnPath(char* path, size_t capacity);
