// Tag-field reading and replacing. Input: text \0 opening tag \0 closing tag
// \0 value (missing pieces: the "Role" field, an empty value). Both forms of
// each operation must agree with each other and with where the tags lie, a
// fixed buffer is never written past, and a replaced value reads back.
#include <cstring>
#include <memory>
#include <string>

#include "base/tag_field.h"
#include "fuzz/fuzz_support.h"

namespace {

// The closing tag that belongs to "<__Name__>", or "" for other texts.
std::string ClosingFor(const std::string& opening) {
  if (opening.size() < 5 || opening.compare(0, 3, "<__") != 0) return std::string();
  return "</" + opening.substr(1);
}

struct Field {
  bool found = false;
  size_t head = 0;   // text up to and including the opening tag
  size_t close = 0;  // where the closing tag starts
};

Field Locate(const std::string& text, const std::string& opening, const std::string& closing) {
  Field field;
  if (opening.empty() || closing.empty()) return field;
  size_t open = text.find(opening);
  if (open == std::string::npos) return field;
  size_t close = text.find(closing, open);
  if (close == std::string::npos || close < open + opening.size()) return field;
  field.found = true;
  field.head = open + opening.size();
  field.close = close;
  return field;
}

void CheckFixedRead(const std::string& text, const char* opening, const char* closing, const Field& field,
                    size_t capacity) {
  std::unique_ptr<char[]> output(new char[capacity + 1]);  // one spare byte: must stay untouched
  memset(output.get(), 'x', capacity + 1);
  bool ok = Utility::GetTagValue(text.c_str(), opening, closing, capacity == 0 ? nullptr : output.get(), capacity);
  size_t length = field.found ? field.close - field.head : 0;
  KS_FUZZ_CHECK(ok == (field.found && capacity > 0 && length < capacity));
  KS_FUZZ_CHECK(output[capacity] == 'x');
  if (ok) KS_FUZZ_CHECK(memcmp(output.get(), text.data() + field.head, length) == 0 && output[length] == '\0');
  if (!ok && capacity > 0) KS_FUZZ_CHECK(output[0] == '\0');
}

void CheckFixedReplace(const std::string& text, const std::string& value, const char* opening, const char* closing,
                       const std::string& expected, bool expected_ok, size_t capacity) {
  std::unique_ptr<char[]> output(new char[capacity + 1]);
  memset(output.get(), 'x', capacity + 1);
  bool ok = Utility::ReplaceTagValue(text.c_str(), value.c_str(), opening, closing, output.get(), capacity);
  KS_FUZZ_CHECK(output[capacity] == 'x');
  KS_FUZZ_CHECK(ok == (expected_ok && expected.size() < capacity));
  if (ok) KS_FUZZ_CHECK(strcmp(output.get(), expected.c_str()) == 0);
  // Untouched on failure: the first byte is still the filler.
  if (!ok && capacity > 0) KS_FUZZ_CHECK(output[0] == 'x');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts = ksfuzz::SplitInput(data, size, 4);
  const std::string text = parts[0];
  const std::string opening = ksfuzz::PartOr(parts, 1, "<__Role__>");
  const std::string closing = parts.size() > 2 ? parts[2] : ClosingFor(opening);
  const std::string value = ksfuzz::PartOr(parts, 3, "").c_str();  // a C string: up to the first zero
  const Field field = Locate(text, opening, closing);

  std::string read = "before";
  bool ok = Utility::GetTagValue(text.c_str(), opening.c_str(), closing.c_str(), read);
  KS_FUZZ_CHECK(ok == field.found);
  KS_FUZZ_CHECK(ok ? read == text.substr(field.head, field.close - field.head) : read.empty());

  const size_t length = field.found ? field.close - field.head : 0;
  for (size_t capacity : {size_t(0), size_t(1), length, length + 1, size_t(512)})
    CheckFixedRead(text, opening.c_str(), closing.c_str(), field, capacity);

  std::string expected;
  if (field.found) expected = text.substr(0, field.head) + value + text.substr(field.close);
  std::string updated = "untouched";
  ok = Utility::ReplaceTagValue(text, value.c_str(), opening.c_str(), closing.c_str(), updated);
  KS_FUZZ_CHECK(ok == field.found);
  KS_FUZZ_CHECK(updated == (ok ? expected : std::string("untouched")));
  for (size_t capacity : {expected.size(), expected.size() + 1, size_t(4096)})
    CheckFixedReplace(text, value, opening.c_str(), closing.c_str(), expected, field.found, capacity);

  // Null arguments: the text is passed through unchanged and the result is false.
  std::unique_ptr<char[]> copy(new char[text.size() + 1]);
  KS_FUZZ_CHECK(!Utility::ReplaceTagValue(text.c_str(), nullptr, opening.c_str(), closing.c_str(), copy.get(),
                                          text.size() + 1));
  KS_FUZZ_CHECK(text == copy.get());
  KS_FUZZ_CHECK(!Utility::ReplaceTagValue(text, nullptr, opening.c_str(), closing.c_str(), updated));

  // The value written reads back, unless the closing tag now turns up
  // earlier: inside the value, or straddling its edges.
  if (ok) {
    const std::string joined = opening + value + closing;
    if (joined.find(closing) == opening.size() + value.size()) {
      std::string again;
      KS_FUZZ_CHECK(Utility::GetTagValue(updated.c_str(), opening.c_str(), closing.c_str(), again));
      KS_FUZZ_CHECK(again == value);
    }
  }
  return 0;
}
