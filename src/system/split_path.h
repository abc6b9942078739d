#pragma once
// Splits a path at the last separator into folder and last component.
#include <cstddef>

// No separator: empty folder, the whole path as name. Separator first: empty
// folder. False only when a buffer is missing or a part does not fit its
// buffer (both parts are then empty).
bool SplitPath(const char* path, char* folder, size_t folder_capacity, char* name, size_t name_capacity,
               const char* separator);
