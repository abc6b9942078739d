#include "base/text.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

namespace ks {

bool CopyBytes(char* dst, size_t capacity, const char* src, size_t length) {
  if (dst == nullptr || capacity == 0) return false;
  if (length >= capacity || (src == nullptr && length != 0)) {
    dst[0] = '\0';
    return false;
  }
  if (length != 0) memmove(dst, src, length);
  dst[length] = '\0';
  return true;
}

bool CopyText(char* dst, size_t capacity, const char* src) {
  if (src == nullptr) src = "";
  return CopyBytes(dst, capacity, src, strlen(src));
}

bool AppendText(char* dst, size_t capacity, const char* src) {
  if (dst == nullptr || capacity == 0) return false;
  if (src == nullptr) return true;
  size_t used = BoundedLength(dst, capacity);
  if (used >= capacity) return false;  // dst was not zero-ended within capacity
  size_t add = strlen(src);
  if (add >= capacity - used) return false;
  memcpy(dst + used, src, add + 1);
  return true;
}

bool FormatTextV(char* dst, size_t capacity, const char* format, va_list args) {
  if (dst == nullptr || capacity == 0) return false;
  int needed = vsnprintf(dst, capacity, format, args);
  if (needed < 0 || static_cast<size_t>(needed) >= capacity) {
    dst[0] = '\0';
    return false;
  }
  return true;
}

bool FormatText(char* dst, size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool ok = FormatTextV(dst, capacity, format, args);
  va_end(args);
  return ok;
}

std::string FormatV(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  char small[512];
  int needed = vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (needed < 0) return std::string();
  if (static_cast<size_t>(needed) < sizeof small) return std::string(small, static_cast<size_t>(needed));
  std::vector<char> big(static_cast<size_t>(needed) + 1);
  vsnprintf(big.data(), big.size(), format, args);
  return std::string(big.data(), static_cast<size_t>(needed));
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string result = FormatV(format, args);
  va_end(args);
  return result;
}

const char* FindBytes(const char* hay, size_t hay_length, const char* needle, size_t needle_length) {
  if (hay == nullptr || needle == nullptr || needle_length == 0 || needle_length > hay_length) return nullptr;
  const char first = needle[0];
  const char* last_start = hay + (hay_length - needle_length);
  for (const char* p = hay; p <= last_start; ++p) {
    p = static_cast<const char*>(memchr(p, first, static_cast<size_t>(last_start - p) + 1));
    if (p == nullptr) return nullptr;
    if (memcmp(p, needle, needle_length) == 0) return p;
  }
  return nullptr;
}

size_t BoundedLength(const char* text, size_t limit) {
  if (text == nullptr) return 0;
  const void* zero = memchr(text, '\0', limit);
  return zero ? static_cast<size_t>(static_cast<const char*>(zero) - text) : limit;
}

void LowerAscii(char* text) {
  for (; text && *text; ++text)
    if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text - 'A' + 'a');
}

void UpperAscii(char* text) {
  for (; text && *text; ++text)
    if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
}

void CrLfToLf(std::string& text) {
  size_t out = 0;
  for (size_t in = 0; in < text.size(); ++in) {
    if (text[in] == '\r' && in + 1 < text.size() && text[in + 1] == '\n') continue;
    text[out++] = text[in];
  }
  text.resize(out);
}

int ParseInt(const char* text, bool* out_of_range) {
  if (out_of_range != nullptr) *out_of_range = false;
  if (text == nullptr) return 0;
  while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r' || *text == '\v' || *text == '\f') ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = (*text++ == '-');
  long long value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 2;
  }
  if (negative) value = -value;
  int clamped = value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
  if (out_of_range != nullptr) *out_of_range = clamped != value;
  return clamped;
}

}  // namespace ks
