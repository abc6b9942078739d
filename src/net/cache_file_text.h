#pragma once
// The access-cache file's text: tag fields inside <__CACHE__> ...
// </__CACHE__>; whatever follows the closing tag is dropped on every rewrite.
#include <string>

namespace ksnet {

constexpr const char kCacheClosingTag[] = "</__CACHE__>";
constexpr const char kServerAccessOpeningTag[] = "<__SERVER_ACCESS_SETTING1__>";
constexpr const char kServerAccessClosingTag[] = "</__SERVER_ACCESS_SETTING1__>";

// Cuts the text right after the first "</__CACHE__>" (unchanged without one).
std::string CutAfterCacheEnd(const std::string& text);

// The text with one field's value replaced and anything after the cache's
// closing tag dropped; false (updated untouched) when the field is missing
// or malformed, or the value would not read back from the new text.
bool RewriteCacheField(const std::string& text, const char* opening_tag, const char* closing_tag, const char* value,
                       std::string& updated);

// A new cache file: the access-setting field, empty, inside the cache tags.
std::string InitialCacheFileText();

}  // namespace ksnet
