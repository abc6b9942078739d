#pragma once
// Checksums and deciphering of the meeting query (Windows: SHA-1 comes from CNG).
#include <string>

class QueryMap;

namespace Utility {

// Base64 (no line breaks) of the SHA-1 digest of `text` up to its first zero
// byte; empty when the system cannot hash.
std::string GetSHA1CheckSum(const char* text);

// Deciphers `parameter`, checks it against `checksum` (exact comparison) and,
// when they match, adds the URL-decoded pairs of the deciphered query to
// `query`. A parameter whose Base64 text does not fit 4095 bytes is refused.
bool DecryptQuery(const char* parameter, const char* checksum, QueryMap& query);

}  // namespace Utility
