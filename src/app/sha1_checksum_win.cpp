#include <windows.h>
#include <bcrypt.h>

#include <cstring>

#include "app/query_decoding_win.h"
#include "base/codec.h"

namespace Utility {
namespace {

const ULONG kDigestSize = 20;

typedef NTSTATUS(WINAPI* HashFunction)(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, PUCHAR, ULONG, PUCHAR, ULONG);

// BCryptHash is the one-call form; systems before Windows 10 lack it, so it is
// looked up at run time (a static import would stop the starter from loading
// there) and the hash object is used instead when it is missing.
bool HashWithObject(BCRYPT_ALG_HANDLE algorithm, const unsigned char* data, ULONG size, unsigned char* digest) {
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) return false;
  bool ok = BCRYPT_SUCCESS(BCryptHashData(hash, const_cast<PUCHAR>(data), size, 0)) &&
            BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, kDigestSize, 0));
  BCryptDestroyHash(hash);
  return ok;
}

bool Sha1(const unsigned char* data, ULONG size, unsigned char* digest) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA1_ALGORITHM, nullptr, 0))) return false;
  HashFunction hash_once = nullptr;
  HMODULE library = GetModuleHandleW(L"bcrypt.dll");
  if (library != nullptr)
    hash_once = reinterpret_cast<HashFunction>(reinterpret_cast<void*>(GetProcAddress(library, "BCryptHash")));
  bool ok = hash_once != nullptr
                ? BCRYPT_SUCCESS(hash_once(algorithm, nullptr, 0, const_cast<PUCHAR>(data), size, digest, kDigestSize))
                : HashWithObject(algorithm, data, size, digest);
  BCryptCloseAlgorithmProvider(algorithm, 0);
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
