#include "app/starter_name.h"

#include <cstring>

#include "base/text.h"

bool ClientNameFromFileName(const char* file_name, char* client_name, size_t capacity) {
  if (client_name != nullptr && capacity > 0) client_name[0] = '\0';
  if (file_name == nullptr) return false;
  const char* found = strstr(file_name, "Starter");
  if (found == nullptr) found = strstr(file_name, "starter");
  // "Starter.exe" names no client: its protocol key would be Software\Classes
  // itself.
  if (found == nullptr || found == file_name) return false;
  return ks::CopyBytes(client_name, capacity, file_name, static_cast<size_t>(found - file_name));
}
