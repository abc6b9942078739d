#include "base/codec.h"

#include <cstring>

namespace Utility {
namespace {

const char kHexDigits[] = "0123456789ABCDEF";
const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsUnreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.';
}

// By table: the support desk decodes every character of thousands of reports.
struct Base64Values {
  unsigned char value[256] = {};  // outside the alphabet (also '=') counts as zero
  Base64Values() {
    for (unsigned i = 0; i < 64; ++i) value[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<unsigned char>(i);
  }
};
const Base64Values kBase64Values;

unsigned Base64Value(char c) { return kBase64Values.value[static_cast<unsigned char>(c)]; }

}  // namespace

std::string URLEncode(const char* text) {
  std::string out;
  if (text == nullptr) return out;
  out.reserve(strlen(text) * 3);
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    if (IsUnreserved(*p)) {
      out += static_cast<char>(*p);
    } else if (*p == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHexDigits[*p >> 4];
      out += kHexDigits[*p & 0x0F];
    }
  }
  return out;
}

std::string URLDecode(const char* text) {
  std::string out;
  if (text == nullptr) return out;
  size_t length = strlen(text);
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    char c = text[i];
    int high = -1;
    int low = -1;
    if (c == '%' && i + 2 < length) {
      high = HexValue(text[i + 1]);
      low = HexValue(text[i + 2]);
    }
    if (high >= 0 && low >= 0) {
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else if (c == '+') {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

void Base64Encode(const unsigned char* data, size_t count, std::string& output, bool line_breaks) {
  output.clear();
  if (data == nullptr) count = 0;
  size_t groups = (count + 2) / 3;
  output.reserve(groups * 4 + (line_breaks ? groups * 4 / 76 + 1 : 0));
  size_t written = 0;  // Base64 characters so far, line breaks not counted
  for (size_t i = 0; i < count; i += 3) {
    if (line_breaks && written > 0 && written % 76 == 0) output += '\n';
    unsigned b0 = data[i];
    unsigned b1 = i + 1 < count ? data[i + 1] : 0;
    unsigned b2 = i + 2 < count ? data[i + 2] : 0;
    unsigned triple = (b0 << 16) | (b1 << 8) | b2;
    output += kBase64Alphabet[(triple >> 18) & 0x3F];
    output += kBase64Alphabet[(triple >> 12) & 0x3F];
    output += i + 1 < count ? kBase64Alphabet[(triple >> 6) & 0x3F] : '=';
    output += i + 2 < count ? kBase64Alphabet[triple & 0x3F] : '=';
    written += 4;
  }
}

long long Base64Decode(const char* text, size_t length, unsigned char* output, size_t capacity) {
  if (text == nullptr) return 0;
  size_t pos = 0;
  long long produced = 0;
  for (;;) {
    while (pos < length && (text[pos] == '\r' || text[pos] == '\n')) ++pos;
    if (length - pos < 4) break;  // end of text, or a short last group that is ignored
    const char* g = text + pos;
    pos += 4;
    unsigned triple = (Base64Value(g[0]) << 18) | (Base64Value(g[1]) << 12) |
                      (Base64Value(g[2]) << 6) | Base64Value(g[3]);
    // The first byte is always written, the second unless the third
    // character is '=', the third unless the fourth character is '='.
    unsigned char bytes[3];
    size_t n = 0;
    bytes[n++] = static_cast<unsigned char>(triple >> 16);
    if (g[2] != '=') bytes[n++] = static_cast<unsigned char>(triple >> 8);
    if (g[3] != '=') bytes[n++] = static_cast<unsigned char>(triple);
    if (output != nullptr) {
      if (static_cast<size_t>(produced) + n > capacity) return -1;
      memcpy(output + produced, bytes, n);
    }
    produced += static_cast<long long>(n);
  }
  return produced;
}

long long Base64Decode(const char* text, unsigned char* output, size_t capacity) {
  return Base64Decode(text, text ? strlen(text) : 0, output, capacity);
}

long long FindLastPattern(const unsigned char* pattern, size_t pattern_length,
                          const unsigned char* data, size_t data_length) {
  if (pattern == nullptr || data == nullptr || pattern_length == 0 || data_length < pattern_length) return -1;
  const unsigned char last = pattern[pattern_length - 1];
  for (size_t start = data_length - pattern_length + 1; start-- > 0;) {
    if (data[start + pattern_length - 1] == last && memcmp(data + start, pattern, pattern_length) == 0)
      return static_cast<long long>(start);
  }
  return -1;
}

}  // namespace Utility
