#pragma once
// The meeting parameter's cipher: Base64 over bytes combined with a fixed
// 13-byte key, pass by pass (13 bytes combined, one passed over), the last
// byte never combined. Exclusive or is its own inverse, so one pattern serves
// both directions. The same cipher protects "starter.cfg".
#include <string>

namespace Utility {

// Deciphers the zero-ended Base64 text in place: the result, up to its first
// zero byte, replaces the text (it is always shorter than the Base64 text).
// An empty text stays empty.
void DecodeParameter(char* text);

// The Base64 text that DecodeParameter turns back into `plain`.
std::string EncodeParameter(const std::string& plain);

// Combines `bytes` with the key in the pattern above.
void ApplyParameterKey(unsigned char* bytes, size_t count);

}  // namespace Utility
