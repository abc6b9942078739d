#include "net/range_reply.h"

#include <cstring>

#include "base/log_api.h"
#include "base/text.h"

namespace ksnet {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameNameIgnoringCase(const char* a, size_t a_length, const char* b) {
  size_t b_length = strlen(b);
  if (a_length != b_length) return false;
  for (size_t i = 0; i < a_length; ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

// Reads decimal digits at text[*i]; false without any, or beyond 2^62.
bool ReadNumber(const std::string& text, size_t* i, long long* value) {
  size_t start = *i;
  long long number = 0;
  for (; *i < text.size() && text[*i] >= '0' && text[*i] <= '9'; ++*i) {
    if (number > (1LL << 62) / 10) return false;
    number = number * 10 + (text[*i] - '0');
  }
  *value = number;
  return *i > start;
}

}  // namespace

std::string RangeHeaders(int from, const std::string& validator) {
  return ks::Format("Range: bytes=%d-\r\nIf-Range: %s\r\n", from, validator.c_str());
}

bool IsUsableValidator(const std::string& text) {
  if (text.empty() || text.size() > kValidatorLimit || IsBlank(text.front()) || IsBlank(text.back())) return false;
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7E || c == '<') return false;
  }
  return true;
}

bool FindHeader(const char* head, size_t length, const char* name, std::string* value) {
  if (head == nullptr || name == nullptr) return false;
  // The status line is no header.
  const char* first_end = static_cast<const char*>(memchr(head, '\n', length));
  size_t pos = first_end != nullptr ? static_cast<size_t>(first_end - head) + 1 : length;
  while (pos < length) {
    size_t end = pos;
    while (end < length && head[end] != '\n') ++end;
    size_t line_end = end > pos && head[end - 1] == '\r' ? end - 1 : end;
    if (line_end == pos) return false;  // the blank line ends the header
    const char* line = head + pos;
    size_t line_length = line_end - pos;
    const char* colon = static_cast<const char*>(memchr(line, ':', line_length));
    if (colon != nullptr && SameNameIgnoringCase(line, static_cast<size_t>(colon - line), name)) {
      size_t first = static_cast<size_t>(colon - line) + 1;
      size_t last = line_length;
      while (first < last && IsBlank(line[first])) ++first;
      while (last > first && IsBlank(line[last - 1])) --last;
      value->assign(line + first, last - first);
      return true;
    }
    pos = end + 1;
  }
  return false;
}

int StatusCode(const char* head, size_t length) {
  // "HTTP/x.y NNN": the code stands after the first space, three digits.
  if (head == nullptr || length < 12 || memcmp(head, "HTTP/", 5) != 0) return 0;
  size_t i = 5;
  while (i < length && head[i] != ' ' && head[i] != '\r' && head[i] != '\n') ++i;
  if (i + 4 > length || head[i] != ' ') return 0;
  int code = 0;
  for (size_t k = i + 1; k < i + 4; ++k) {
    if (head[k] < '0' || head[k] > '9') return 0;
    code = code * 10 + (head[k] - '0');
  }
  if (i + 4 < length && head[i + 4] != ' ' && head[i + 4] != '\r' && head[i + 4] != '\n') return 0;
  return code;
}

std::string ReplyValidator(const char* head, size_t length) {
  std::string value;
  if (FindHeader(head, length, "ETag", &value) && value.size() >= 2 && value.front() == '"' &&
      value.back() == '"' && IsUsableValidator(value))
    return value;
  if (FindHeader(head, length, "Last-Modified", &value) && IsUsableValidator(value)) return value;
  return std::string();
}

bool ParseContentRange(const std::string& text, ContentRange* range) {
  const char kUnit[] = "bytes ";
  if (text.compare(0, sizeof kUnit - 1, kUnit) != 0) return false;
  size_t i = sizeof kUnit - 1;
  ContentRange parsed;
  if (!ReadNumber(text, &i, &parsed.first) || i >= text.size() || text[i++] != '-') return false;
  if (!ReadNumber(text, &i, &parsed.last) || i >= text.size() || text[i++] != '/') return false;
  if (i < text.size() && text[i] == '*') {
    ++i;
  } else if (!ReadNumber(text, &i, &parsed.total)) {
    return false;
  }
  if (i != text.size() || parsed.first > parsed.last) return false;
  if (parsed.total >= 0 && parsed.last >= parsed.total) return false;
  *range = parsed;
  return true;
}

RangeAnswer JudgeRangeReply(int status, const std::string& content_range, int from, int size) {
  if (from <= 0) return RangeAnswer::kWhole;  // a whole request's status is not judged
  if (status == 200) return RangeAnswer::kWhole;
  ContentRange range;
  if (status == 206 && ParseContentRange(content_range, &range) && range.first == from &&
      range.last == static_cast<long long>(size) - 1 && range.total == size)
    return RangeAnswer::kRest;
  return RangeAnswer::kRefused;
}

RangeAnswer JudgeRangeHead(const char* head, size_t length, int from, int size, std::string* validator) {
  *validator = ReplyValidator(head, length);
  std::string content_range;
  FindHeader(head, length, "Content-Range", &content_range);
  return JudgeRangeReply(StatusCode(head, length), content_range, from, size);
}

bool TakeRangeReply(const char* head, size_t length, const RangeState& range, int size, const char* operation,
                    int* from, std::string* validator) {
  *from = 0;
  int asked = range.asked_from;
  switch (JudgeRangeHead(head, length, asked, size, validator)) {
    case RangeAnswer::kWhole:
      if (asked > 0) KS_LOG(0, operation, "the whole body instead of the rest from byte %d: it is taken whole", asked);
      return true;
    case RangeAnswer::kRest:
      KS_LOG(0, operation, "the rest from byte %d continues the %d bytes held", asked, asked);
      *validator = range.validator;
      *from = asked;
      return true;
    case RangeAnswer::kRefused:
      break;
  }
  std::string content_range;
  FindHeader(head, length, "Content-Range", &content_range);
  KS_LOG(3, operation, "reply to the request for the rest from byte %d refused: status %d, Content-Range: %s", asked,
         StatusCode(head, length), content_range.c_str());
  return false;
}

}  // namespace ksnet
