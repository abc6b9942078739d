#include "app/query_decipher.h"

#include <cstring>

#include "app/parameter_cipher.h"
#include "base/log_api.h"
#include "base/text.h"

namespace Utility {

bool DecipherQueryParameter(const char* parameter, char* deciphered) {
  if (parameter == nullptr) parameter = "";
  if (!ks::CopyText(deciphered, kQueryDecipherSize, parameter)) {
    deciphered[0] = '\0';
    KS_LOG(3, "Utility::DecryptQuery", "sParameter refused: %d bytes, at most %d",
           static_cast<int>(strlen(parameter)), static_cast<int>(kQueryDecipherSize - 1));
    return false;
  }
  DecodeParameter(deciphered);
  return true;
}

}  // namespace Utility
