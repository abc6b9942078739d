#include "support/fact_text.h"

#include "base/text.h"

namespace kslog {
namespace {

bool Continues(const std::string& value, size_t at, unsigned char low = 0x80, unsigned char high = 0xBF) {
  if (at >= value.size()) return false;
  unsigned char c = static_cast<unsigned char>(value[at]);
  return c >= low && c <= high;
}

// The length of the well-formed UTF-8 sequence at `i` (RFC 3629: no
// overlong form, no surrogate, nothing past U+10FFFF), or 0.
size_t SequenceLength(const std::string& value, size_t i) {
  unsigned char c = static_cast<unsigned char>(value[i]);
  if (c >= 0xC2 && c <= 0xDF) return Continues(value, i + 1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    unsigned char low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
    return Continues(value, i + 1, low, high) && Continues(value, i + 2) ? 3 : 0;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    unsigned char low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
    return Continues(value, i + 1, low, high) && Continues(value, i + 2) && Continues(value, i + 3) ? 4 : 0;
  }
  return 0;
}

bool Repeats(const std::string& key) {
  return key == "road" || key == "started" || key == "note" || key == "frame";
}

}  // namespace

std::string OneLine(const std::string& value) {
  std::string out;
  for (char c : value) {
    if (c == '\r') continue;
    out += c == '\n' ? ' ' : c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string ValidUtf8(const std::string& value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(value[i]);
    size_t length = c >= 0x80 ? SequenceLength(value, i) : 1;
    if (length == 0) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out.append(value, i, length);
      i += length - 1;
    }
  }
  return out;
}

std::string JsonString(const std::string& value) {
  std::string out = "\"";
  for (size_t i = 0; i < value.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(value[i]);
    size_t length = c >= 0x80 ? SequenceLength(value, i) : 0;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && length == 0)) {
      out += ks::Format("\\u%04x", c);
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out.append(value, i, length);
      i += length - 1;
    }
  }
  return out + "\"";
}

std::string JsonObject(const std::vector<Fact>& facts) {
  std::vector<std::string> keys;
  for (const Fact& fact : facts) {
    bool seen = false;
    for (const std::string& key : keys) seen = seen || key == fact.first;
    if (!seen) keys.push_back(fact.first);
  }
  std::string out = "{";
  for (const std::string& key : keys) {
    if (out.size() > 1) out += ", ";
    out += JsonString(key) + ": ";
    std::vector<std::string> values;
    for (const Fact& fact : facts)
      if (fact.first == key) values.push_back(JsonString(OneLine(fact.second)));
    if (!Repeats(key)) {
      out += values[0];
      continue;
    }
    out += "[";
    for (size_t i = 0; i < values.size(); ++i) out += (i > 0 ? ", " : "") + values[i];
    out += "]";
  }
  return out + "}";
}

}  // namespace kslog
