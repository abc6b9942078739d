#include <windows.h>

#include <cstring>

#include "app/query_decoding_win.h"
#include "base/codec.h"
#include "base/digest_win.h"

namespace Utility {
namespace {

const size_t kDigestSize = 20;

}  // namespace

std::string GetSHA1CheckSum(const char* text) {
  if (text == nullptr) text = "";
  size_t length = strlen(text);
  unsigned char digest[kDigestSize];
  if (!ks::HashBytes(BCRYPT_SHA1_ALGORITHM, reinterpret_cast<const unsigned char*>(text), length, digest, kDigestSize))
    return std::string();
  std::string checksum;
  Base64Encode(digest, kDigestSize, checksum, false);
  return checksum;
}

}  // namespace Utility
