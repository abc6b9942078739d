#pragma once
// Emptying a directory tree before a package is unpacked into it. Windows only.

namespace Utility {

// Deletes everything below `path` (read-only, hidden and system files too)
// except files whose full path contains `keep` (when not empty), then the
// directory itself if it ended up empty. Linked directories are unlinked, not
// entered. False when the path is empty or cannot be listed; true otherwise,
// even when entries remain.
bool RemoveAllFile(const char* path, const char* keep);

}  // namespace Utility
