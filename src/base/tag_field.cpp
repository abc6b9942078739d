#include "base/tag_field.h"

#include <cstring>

#include "base/text.h"

namespace Utility {
namespace {

// Locates the value; false when the field is absent or malformed.
bool FindValue(const char* text, const char* opening_tag, const char* closing_tag,
               const char** value_begin, const char** value_end) {
  if (text == nullptr || opening_tag == nullptr || closing_tag == nullptr) return false;
  if (*opening_tag == '\0' || *closing_tag == '\0') return false;
  const char* open = strstr(text, opening_tag);
  if (open == nullptr) return false;
  // The closing tag is searched from the start of the opening tag, so a
  // closing tag overlapping the opening one is caught by the order test.
  const char* close = strstr(open, closing_tag);
  if (close == nullptr) return false;
  const char* begin = open + strlen(opening_tag);
  if (close < begin) return false;
  *value_begin = begin;
  *value_end = close;
  return true;
}

}  // namespace

bool GetTagValue(const char* text, const char* opening_tag, const char* closing_tag,
                 char* output, size_t capacity) {
  if (output != nullptr && capacity > 0) output[0] = '\0';
  if (output == nullptr || capacity == 0) return false;
  const char* begin = nullptr;
  const char* end = nullptr;
  if (!FindValue(text, opening_tag, closing_tag, &begin, &end)) return false;
  return ks::CopyBytes(output, capacity, begin, static_cast<size_t>(end - begin));
}

bool GetTagValue(const char* text, const char* opening_tag, const char* closing_tag,
                 std::string& output) {
  output.clear();
  const char* begin = nullptr;
  const char* end = nullptr;
  if (!FindValue(text, opening_tag, closing_tag, &begin, &end)) return false;
  output.assign(begin, end);
  return true;
}

bool ReplaceTagValue(const char* text, const char* value, const char* opening_tag,
                     const char* closing_tag, char* output, size_t capacity) {
  if (text == nullptr || value == nullptr || opening_tag == nullptr || closing_tag == nullptr) {
    if (text != nullptr) ks::CopyText(output, capacity, text);
    return false;
  }
  const char* begin = nullptr;
  const char* end = nullptr;
  if (!FindValue(text, opening_tag, closing_tag, &begin, &end)) return false;
  size_t head = static_cast<size_t>(begin - text);
  size_t value_length = strlen(value);
  size_t tail = strlen(end);
  if (output == nullptr || head + value_length + tail >= capacity) return false;
  // Output may not alias text: build into place in order.
  memmove(output, text, head);
  memcpy(output + head, value, value_length);
  memmove(output + head + value_length, end, tail + 1);
  return true;
}

bool ReplaceTagValue(const std::string& text, const char* value, const char* opening_tag,
                     const char* closing_tag, std::string& output) {
  if (value == nullptr) return false;
  const char* begin = nullptr;
  const char* end = nullptr;
  if (!FindValue(text.c_str(), opening_tag, closing_tag, &begin, &end)) return false;
  std::string result(text.c_str(), begin);
  result += value;
  // The tags are looked for in the text before its first zero byte, but
  // everything from the closing tag to the string's end is kept: a file
  // rewritten through here must not lose what follows a stray zero byte.
  result.append(text, static_cast<size_t>(end - text.c_str()), std::string::npos);
  output.swap(result);
  return true;
}

std::string OpeningTag(const char* name) { return std::string("<__") + name + "__>"; }
std::string ClosingTag(const char* name) { return std::string("</__") + name + "__>"; }

}  // namespace Utility
