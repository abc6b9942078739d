// Base64 and URL decoding (and their encoders as oracles). The input is the
// encoded text. Decoding never writes past the capacity it is given, counts
// exactly what it writes, and every encoding decodes back to its bytes.
#include <cstring>
#include <memory>
#include <string>

#include "base/codec.h"
#include "fuzz/fuzz_support.h"

namespace {

bool IsUrlSafe(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == '+' || c == '%';
}

void CheckUrl(const std::string& text) {
  std::string decoded = Utility::URLDecode(text.c_str());
  KS_FUZZ_CHECK(decoded.size() <= text.size());
  std::string encoded = Utility::URLEncode(text.c_str());
  for (char c : encoded) KS_FUZZ_CHECK(IsUrlSafe(c));
  KS_FUZZ_CHECK(Utility::URLDecode(encoded.c_str()) == text);
}

void CheckBase64Decode(const char* text, size_t length) {
  long long count = Utility::Base64Decode(text, length, nullptr, 0);
  KS_FUZZ_CHECK(count >= 0 && static_cast<size_t>(count) <= length / 4 * 3);
  size_t exact = static_cast<size_t>(count);
  // Exactly sized blocks: a byte written past them shows under ASan.
  std::unique_ptr<unsigned char[]> output(new unsigned char[exact]);
  KS_FUZZ_CHECK(Utility::Base64Decode(text, length, output.get(), exact) == count);
  if (exact > 0) {
    std::unique_ptr<unsigned char[]> short_output(new unsigned char[exact - 1]);
    KS_FUZZ_CHECK(Utility::Base64Decode(text, length, short_output.get(), exact - 1) == -1);
    // What was written before the refusal is the same prefix.
    size_t same = exact >= 4 ? exact - 4 : 0;
    KS_FUZZ_CHECK(memcmp(short_output.get(), output.get(), same) == 0);
  }
}

void CheckBase64RoundTrip(const unsigned char* bytes, size_t size, bool line_breaks) {
  std::string encoded = "stale";
  Utility::Base64Encode(bytes, size, encoded, line_breaks);
  KS_FUZZ_CHECK(encoded.size() >= (size + 2) / 3 * 4);
  if (line_breaks) {
    size_t line = 0;
    for (char c : encoded) {
      line = c == '\n' ? 0 : line + 1;
      KS_FUZZ_CHECK(line <= 76);
    }
  } else {
    KS_FUZZ_CHECK(encoded.size() == (size + 2) / 3 * 4);
  }
  std::unique_ptr<unsigned char[]> decoded(new unsigned char[size]);
  KS_FUZZ_CHECK(Utility::Base64Decode(encoded.c_str(), decoded.get(), size) == static_cast<long long>(size));
  KS_FUZZ_CHECK(size == 0 || memcmp(decoded.get(), bytes, size) == 0);
}

void CheckFindLast(const uint8_t* data, size_t size) {
  if (size < 2) return;
  size_t pattern_length = 1 + data[0] % 8;
  if (size < 1 + pattern_length) return;
  const unsigned char* pattern = data + 1;
  const unsigned char* haystack = data + 1 + pattern_length;
  size_t haystack_length = size - 1 - pattern_length;
  std::string h(reinterpret_cast<const char*>(haystack), haystack_length);
  std::string p(reinterpret_cast<const char*>(pattern), pattern_length);
  size_t expected = h.rfind(p);
  long long found = Utility::FindLastPattern(pattern, pattern_length, haystack, haystack_length);
  KS_FUZZ_CHECK(expected == std::string::npos ? found == -1 : found == static_cast<long long>(expected));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const std::string text(bytes, strnlen(bytes, size));  // what a C string caller would pass
  CheckUrl(text);
  CheckBase64Decode(bytes, size);
  // The zero-ended form reads up to the first zero byte.
  long long counted = Utility::Base64Decode(text.c_str(), nullptr, 0);
  KS_FUZZ_CHECK(counted == Utility::Base64Decode(text.c_str(), text.size(), nullptr, 0));
  CheckBase64RoundTrip(data, size, false);
  CheckBase64RoundTrip(data, size, true);
  CheckFindLast(data, size);
  return 0;
}
