#include "net/dotted_address.h"

#include <cstring>

#include "base/text.h"

namespace ksnet {

bool LooksLikeDottedAddress(const char* name) {
  if (name == nullptr || strchr(name, '.') == nullptr) return false;
  if (ks::ParseInt(name) == 0) return false;
  int pieces = 1;
  for (const char* p = name; *p != '\0'; ++p)
    if (*p == '.') ++pieces;
  return pieces == 4;
}

}  // namespace ksnet
