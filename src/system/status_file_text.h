#pragma once
// The text side of the setup status file: how a field is read from its
// content or rewritten in it, and the content of a new file.
#include <cstddef>
#include <string>

const char kStatusFileDefaultContent[] = "<__ClientCalledToLaunch__>Y</__ClientCalledToLaunch__>";
const size_t kStatusValueSize = 512;

// The field's value into `value` (kStatusValueSize bytes), looked for before
// the content's first zero byte; false (value empty) when the field is
// missing, malformed or too long.
bool ReadStatusField(const std::string& content, const char* opening_tag, const char* closing_tag, char* value);

// The content with the field's value replaced and every other byte kept,
// those after a stray zero byte too; false (updated untouched) when the
// field is missing or malformed.
bool RewriteStatusField(const std::string& content, const char* opening_tag, const char* closing_tag,
                        const char* value, std::string& updated);
