#pragma once
// Tag fields: `<__Name__>value</__Name__>`, no escaping, first occurrence wins.
// Every file, parameter text and server reply of the starter is made of them.
#include <cstddef>
#include <string>

namespace Utility {

// Reads the value between the first opening tag and the next closing tag.
// The output is emptied first; false when a tag is missing, the closing tag
// starts inside the opening one, or the value does not fit `capacity` bytes
// with its zero byte (the output is then empty, never a cut-off value).
bool GetTagValue(const char* text, const char* opening_tag, const char* closing_tag,
                 char* output, size_t capacity);

// Same rules, into a std::string (no length limit).
bool GetTagValue(const char* text, const char* opening_tag, const char* closing_tag,
                 std::string& output);

// Builds text-up-to-and-including-opening-tag + value + text-from-closing-tag.
// False with the output untouched when a tag is missing or misplaced, or the
// result does not fit `capacity`; when any argument is null the output gets
// the text unchanged (if it fits) and the result is false.
bool ReplaceTagValue(const char* text, const char* value, const char* opening_tag,
                     const char* closing_tag, char* output, size_t capacity);

// std::string form: false (output untouched) when a tag is missing or misplaced.
// The tags are found in the text before its first zero byte; the tail after
// the closing tag is kept whole, zero bytes included.
bool ReplaceTagValue(const std::string& text, const char* value, const char* opening_tag,
                     const char* closing_tag, std::string& output);

// "<__Name__>" and "</__Name__>" for a field name.
std::string OpeningTag(const char* name);
std::string ClosingTag(const char* name);

}  // namespace Utility
