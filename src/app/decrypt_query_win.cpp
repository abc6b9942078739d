#include <cstring>

#include "app/parameter_cipher.h"
#include "app/query_decoding_win.h"
#include "app/query_map.h"
#include "base/log_api.h"
#include "base/text.h"

namespace Utility {

bool DecryptQuery(const char* parameter, const char* checksum, QueryMap& query) {
  char deciphered[4096];
  if (!ks::CopyText(deciphered, sizeof deciphered, parameter)) {
    KS_LOG(3, "Utility::DecryptQuery", "sParameter refused: %d bytes, at most %d",
           static_cast<int>(strlen(parameter)), static_cast<int>(sizeof deciphered - 1));
    return false;
  }
  DecodeParameter(deciphered);
  std::string computed = GetSHA1CheckSum(deciphered);
  if (checksum == nullptr || computed.empty() || computed != checksum) {
    KS_LOG(3, "Utility::DecryptQuery", "sCheckSum = %s, sMySHA1CheckSum = %s", checksum ? checksum : "",
           computed.c_str());
    return false;
  }
  query.Parse(deciphered, '&', true);
  return true;
}

}  // namespace Utility
