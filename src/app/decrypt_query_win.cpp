#include "app/query_decipher.h"
#include "app/query_decoding_win.h"
#include "app/query_map.h"
#include "base/log_api.h"

namespace Utility {

bool DecryptQuery(const char* parameter, const char* checksum, QueryMap& query) {
  char deciphered[kQueryDecipherSize];
  if (!DecipherQueryParameter(parameter, deciphered)) return false;
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
