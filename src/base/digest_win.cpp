#include "base/digest_win.h"

#include "base/system_api_win.h"

namespace ks {
namespace {

// BCryptHash is the one-call form; systems before Windows 10 lack it, so the
// hash object is used instead when it is missing.
bool HashWithObject(BCRYPT_ALG_HANDLE algorithm, const unsigned char* data, ULONG size, unsigned char* digest,
                    ULONG digest_size) {
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!BCRYPT_SUCCESS(sys::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) return false;
  bool ok = BCRYPT_SUCCESS(sys::BCryptHashData(hash, const_cast<PUCHAR>(data), size, 0)) &&
            BCRYPT_SUCCESS(sys::BCryptFinishHash(hash, digest, digest_size, 0));
  sys::BCryptDestroyHash(hash);
  return ok;
}

}  // namespace

bool HashBytes(const wchar_t* algorithm_name, const unsigned char* data, size_t size, unsigned char* digest,
               size_t digest_size) {
  if (size > 0xFFFFFFFFu || digest_size > 0xFFFFFFFFu) return false;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(sys::BCryptOpenAlgorithmProvider(&algorithm, algorithm_name, nullptr, 0))) return false;
  ULONG length = static_cast<ULONG>(size);
  ULONG digest_length = static_cast<ULONG>(digest_size);
  bool ok = sys::BCryptHash.Available()
                ? BCRYPT_SUCCESS(sys::BCryptHash(algorithm, nullptr, 0, const_cast<PUCHAR>(data), length, digest,
                                                 digest_length))
                : HashWithObject(algorithm, data, length, digest, digest_length);
  sys::BCryptCloseAlgorithmProvider(algorithm, 0);
  return ok;
}

}  // namespace ks
