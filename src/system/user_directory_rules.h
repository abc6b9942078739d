#pragma once
// The pure rules behind Utility::GetUserDirectory: which product folder name
// to use, who counts as the system account, and where the system account's
// application folder lies relative to the starter.
#include <cstddef>

// An empty name and "Linvora" both mean "Kestrelon"; other names stay.
const char* ProductFolderName(const char* product_name);

// The user name, with ASCII letters upper-cased, equals "SYSTEM".
bool IsSystemAccountName(const char* user_name);

// For the system account the application folder is the starter's folder, or
// a parent of it when the starter lies inside the product's own folders:
// "<product>\Kestrelon" in the path gives "\..\..", the product name alone
// "\..". The ".." stay as written. Returns false (output empty) when the
// result does not fit `capacity`; `adjusted` tells whether ".." were added.
bool SystemAccountApplicationDirectory(const char* current_directory, const char* product, char* output,
                                       size_t capacity, bool* adjusted);

// Keeps the part before the last backslash; false (path unchanged) when there
// is none.
bool CutAtLastBackslash(char* path);

// Removes one trailing backslash, if there is one.
void RemoveTrailingBackslash(char* path);
