#include "app/parameter_cipher.h"

#include <cstring>
#include <vector>

#include "base/codec.h"

namespace Utility {
namespace {
const char kParameterKey[] = "&71%^!K458qq6";
const size_t kKeyLength = sizeof kParameterKey - 1;  // 13
}  // namespace

void ApplyParameterKey(unsigned char* bytes, size_t count) {
  if (bytes == nullptr || count < 2) return;
  const size_t last = count - 1;  // never combined
  size_t pos = 0;
  while (pos < last) {
    for (size_t k = 0; k < kKeyLength && pos < last; ++k, ++pos)
      bytes[pos] = static_cast<unsigned char>(bytes[pos] ^ static_cast<unsigned char>(kParameterKey[k]));
    ++pos;  // the fourteenth byte of each pass stays as it is
  }
}

void DecodeParameter(char* text) {
  if (text == nullptr || *text == '\0') return;
  size_t length = strlen(text);
  long long count = Base64Decode(text, length, nullptr, 0);
  std::vector<unsigned char> bytes(static_cast<size_t>(count) + 1, 0);
  if (count > 0) count = Base64Decode(text, length, bytes.data(), static_cast<size_t>(count));
  if (count < 0) count = 0;
  ApplyParameterKey(bytes.data(), static_cast<size_t>(count));
  bytes[static_cast<size_t>(count)] = 0;
  // Four Base64 characters give at most three bytes, so the result fits.
  size_t result = strlen(reinterpret_cast<const char*>(bytes.data()));
  memcpy(text, bytes.data(), result + 1);
}

std::string EncodeParameter(const std::string& plain) {
  std::vector<unsigned char> bytes(plain.begin(), plain.end());
  ApplyParameterKey(bytes.data(), bytes.size());
  std::string encoded;
  Base64Encode(bytes.data(), bytes.size(), encoded, false);
  return encoded;
}

}  // namespace Utility
