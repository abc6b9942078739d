#include "setup/setup_lines.h"

#include <cstring>

#include "base/tag_field.h"
#include "base/text.h"

std::string TagLine(const char* name, const std::string& value) {
  return Utility::OpeningTag(name) + value + Utility::ClosingTag(name) + "\n";
}

std::string BuildSetupLines(const SetupLineValues& values) {
  std::string lines = TagLine("SetupDirectory", values.setup_directory) +
                      TagLine("SetupFile", ks::Format("%s\\%s", values.current_directory, values.current_file)) +
                      TagLine("SetupFileName", values.current_file) +
                      TagLine("SetupConfigureFile", ks::Format("%s\\%s", values.current_directory, "starter.cfg"));
  if (values.need_to_remove_setup) lines += TagLine("NeedToRemoveSetup", "Y");
  if (values.skipped_download) lines += TagLine("SkippedDownload", "Y");
  return lines;
}

bool PutInFront(char* setting, size_t capacity, const std::string& lines, size_t* needed) {
  std::string combined = lines + setting;
  if (needed != nullptr) *needed = combined.size() + 1;
  if (combined.size() >= capacity) return false;
  memcpy(setting, combined.c_str(), combined.size() + 1);
  return true;
}
