#pragma once
// The portable half of reading the meeting query: the parameter is copied into
// a fixed buffer and deciphered there. The checksum test that follows needs
// the system's SHA-1 (query_decoding_win.h).
#include <cstddef>

namespace Utility {

// The deciphering buffer: a parameter of up to 4095 Base64 bytes.
const size_t kQueryDecipherSize = 4096;

// Copies `parameter` into `deciphered` (kQueryDecipherSize bytes) and
// deciphers it there. False (logged under "Utility::DecryptQuery", output
// empty) when the parameter does not fit.
bool DecipherQueryParameter(const char* parameter, char* deciphered);

}  // namespace Utility
