#pragma once
// Byte encodings shared by the launch parameters, the query, the downloads and
// the error report: URL encoding, Base64 (RFC 4648) and a backward search.
#include <cstddef>
#include <string>

namespace Utility {

// a-z A-Z 0-9 - _ . stay, space becomes '+', every other byte %XX (upper case).
std::string URLEncode(const char* text);

// %XX (either case) gives the byte, '+' gives a space, anything else is copied
// (including a '%' not followed by two hexadecimal digits).
std::string URLDecode(const char* text);

// Base64 of `count` bytes; with line_breaks a "\n" goes before every group that
// would start after a multiple of 76 output characters.
void Base64Encode(const unsigned char* data, size_t count, std::string& output, bool line_breaks);

// Decodes `length` bytes of Base64 text (groups of four; runs of CR and LF
// between groups are skipped; characters outside the alphabet count as 0; a
// last group shorter than four characters is ignored). With output null it
// only counts. Returns the number of decoded bytes, or -1 when an output is
// given and the bytes would not fit `capacity` (nothing is written past it).
// The output is not zero-ended.
long long Base64Decode(const char* text, size_t length, unsigned char* output, size_t capacity);

// Zero-ended form of the above.
long long Base64Decode(const char* text, unsigned char* output, size_t capacity);

// Offset of the last occurrence of pattern in data, or -1.
long long FindLastPattern(const unsigned char* pattern, size_t pattern_length,
                          const unsigned char* data, size_t data_length);

}  // namespace Utility
