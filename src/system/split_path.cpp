#include "system/split_path.h"

#include <cstring>

#include "base/text.h"

bool SplitPath(const char* path, char* folder, size_t folder_capacity, char* name, size_t name_capacity,
               const char* separator) {
  if (path == nullptr || folder == nullptr || name == nullptr || folder_capacity == 0 || name_capacity == 0)
    return false;
  char sep = (separator != nullptr && *separator != '\0') ? *separator : '\\';
  const char* last = strrchr(path, sep);
  bool ok;
  if (last == nullptr) {
    folder[0] = '\0';
    ok = ks::CopyText(name, name_capacity, path);
  } else {
    ok = ks::CopyBytes(folder, folder_capacity, path, static_cast<size_t>(last - path)) &&
         ks::CopyText(name, name_capacity, last + 1);
  }
  if (!ok) {
    folder[0] = '\0';
    name[0] = '\0';
  }
  return ok;
}
