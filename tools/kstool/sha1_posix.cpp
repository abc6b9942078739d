// The meeting link's checksum for the native kstool: the starter computes it
// with CNG (src/app/sha1_checksum_win.cpp); here it comes from OpenSSL.
#include <openssl/evp.h>

#include <cstring>

#include "app/query_decoding_win.h"
#include "base/codec.h"

namespace Utility {

std::string GetSHA1CheckSum(const char* text) {
  if (text == nullptr) text = "";
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(text, strlen(text), digest, &size, EVP_sha1(), nullptr) != 1) return std::string();
  std::string checksum;
  Base64Encode(digest, size, checksum, false);
  return checksum;
}

}  // namespace Utility
