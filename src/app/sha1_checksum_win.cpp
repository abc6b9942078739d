#include <windows.h>

#include <cstring>

#include "app/query_decoding_win.h"
#include "base/codec.h"
#include "base/system_api_win.h"

namespace Utility {
namespace {

const ULONG kDigestSize = 20;

// BCryptHash is the one-call form; systems before Windows 10 lack it, so the
// hash object is used instead when it is missing.
bool HashWithObject(BCRYPT_ALG_HANDLE algorithm, const unsigned char* data, ULONG size, unsigned char* digest) {
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!BCRYPT_SUCCESS(ks::sys::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) return false;
  bool ok = BCRYPT_SUCCESS(ks::sys::BCryptHashData(hash, const_cast<PUCHAR>(data), size, 0)) &&
            BCRYPT_SUCCESS(ks::sys::BCryptFinishHash(hash, digest, kDigestSize, 0));
  ks::sys::BCryptDestroyHash(hash);
  return ok;
}

bool Sha1(const unsigned char* data, ULONG size, unsigned char* digest) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(ks::sys::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA1_ALGORITHM, nullptr, 0)))
    return false;
  bool ok = ks::sys::BCryptHash.Available()
                ? BCRYPT_SUCCESS(
                      ks::sys::BCryptHash(algorithm, nullptr, 0, const_cast<PUCHAR>(data), size, digest, kDigestSize))
                : HashWithObject(algorithm, data, size, digest);
  ks::sys::BCryptCloseAlgorithmProvider(algorithm, 0);
  return ok;
}

}  // namespace

std::string GetSHA1CheckSum(const char* text) {
  if (text == nullptr) text = "";
  size_t length = strlen(text);
  unsigned char digest[kDigestSize];
  if (length > 0xFFFFFFFFu || !Sha1(reinterpret_cast<const unsigned char*>(text), static_cast<ULONG>(length), digest))
    return std::string();
  std::string checksum;
  Base64Encode(digest, kDigestSize, checksum, false);
  return checksum;
}

}  // namespace Utility
