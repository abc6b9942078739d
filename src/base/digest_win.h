#pragma once
// Digests through the system's CNG library (bcrypt, loaded from the system
// folder).
#include <windows.h>
#include <bcrypt.h>

#include <cstddef>

namespace ks {

// The digest of `size` bytes by the CNG algorithm named (BCRYPT_SHA1_ALGORITHM,
// BCRYPT_SHA256_ALGORITHM) into `digest`, which holds exactly `digest_size`
// bytes, the algorithm's digest size. False when the library, the algorithm
// or the call fails.
bool HashBytes(const wchar_t* algorithm, const unsigned char* data, size_t size, unsigned char* digest,
               size_t digest_size);

}  // namespace ks
