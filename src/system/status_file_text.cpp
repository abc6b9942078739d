#include "system/status_file_text.h"

#include "base/tag_field.h"

bool ReadStatusField(const std::string& content, const char* opening_tag, const char* closing_tag, char* value) {
  return Utility::GetTagValue(content.c_str(), opening_tag, closing_tag, value, kStatusValueSize);
}

bool RewriteStatusField(const std::string& content, const char* opening_tag, const char* closing_tag,
                        const char* value, std::string& updated) {
  return Utility::ReplaceTagValue(content, value, opening_tag, closing_tag, updated);
}
