#pragma once
// The text side of the setup status file: which content the handler works on
// and how a field is read from it or rewritten in it.
#include <cstddef>
#include <string>

const char kStatusFileDefaultContent[] = "<__ClientCalledToLaunch__>Y</__ClientCalledToLaunch__>";
const size_t kStatusValueSize = 512;

// The content to work on: the file's text up to its first zero byte, or the
// default content when the file could not be read.
std::string StatusFileContent(bool existed, const std::string& file_text);

// The field's value into `value` (kStatusValueSize bytes); false (value
// empty) when the field is missing, malformed or too long.
bool ReadStatusField(const std::string& content, const char* opening_tag, const char* closing_tag, char* value);

// The content with the field's value replaced and every other byte kept;
// false (updated untouched) when the field is missing or malformed.
bool RewriteStatusField(const std::string& content, const char* opening_tag, const char* closing_tag,
                        const char* value, std::string& updated);
