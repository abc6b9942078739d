#pragma once
// The client whose URL protocol a parameterless starter registers is named by
// the starter's own file name: the part before "Starter" (or, only if that
// does not occur, before "starter").
#include <cstddef>

// False when the file name holds neither word, or nothing before it.
bool ClientNameFromFileName(const char* file_name, char* client_name, size_t capacity);
