#include "system/user_directory_rules.h"

#include <cstring>
#include <string>

#include "base/text.h"

const char* ProductFolderName(const char* product_name) {
  if (product_name == nullptr || *product_name == '\0' || strcmp(product_name, "Linvora") == 0) return "Kestrelon";
  return product_name;
}

bool IsSystemAccountName(const char* user_name) {
  if (user_name == nullptr) return false;
  std::string upper(user_name);
  ks::UpperAscii(&upper[0]);
  return upper == "SYSTEM";
}

bool SystemAccountApplicationDirectory(const char* current_directory, const char* product, char* output,
                                       size_t capacity, bool* adjusted) {
  if (adjusted != nullptr) *adjusted = false;
  if (current_directory == nullptr) current_directory = "";
  if (product == nullptr) product = "";
  std::string nested = std::string(product) + "\\Kestrelon";
  const char* suffix = "";
  if (strstr(current_directory, nested.c_str()) != nullptr) {
    suffix = "\\..\\..";
  } else if (*product != '\0' && strstr(current_directory, product) != nullptr) {
    suffix = "\\..";
  }
  if (adjusted != nullptr) *adjusted = *suffix != '\0';
  return ks::FormatText(output, capacity, "%s%s", current_directory, suffix);
}

bool CutAtLastBackslash(char* path) {
  if (path == nullptr) return false;
  char* last = strrchr(path, '\\');
  if (last == nullptr) return false;
  *last = '\0';
  return true;
}

void RemoveTrailingBackslash(char* path) {
  if (path == nullptr) return;
  size_t length = strlen(path);
  if (length > 0 && path[length - 1] == '\\') path[length - 1] = '\0';
}
