#include "support_files.h"

#include <cstdio>

#include "app/embedded_block.h"
#include "app/settings_reader.h"
#include "base/file_data.h"
#include "base/handles_win.h"
#include "base/text.h"
#include "base/wide_text.h"

namespace kstool {

bool ReadInput(const std::string& path, std::string& content, std::string& error) {
  if (Utility::ReadWholeFile(path.c_str(), content)) return true;
  error = "cannot read '" + path + "'";
  return false;
}

bool WriteOutput(const std::string& path, const std::string& content, std::string& error) {
  std::wstring wide = Widen(path.c_str());
  ks::UniqueFile file(wide.empty() ? nullptr : _wfopen(wide.c_str(), L"wb"));
  bool ok = file && fwrite(content.data(), 1, content.size(), file.get()) == content.size();
  if (file && fclose(file.release()) != 0) ok = false;
  if (!ok) error = "cannot write '" + path + "'";
  return ok;
}

bool ReadSettingsFile(const std::string& path, bool require_role, std::string& text, std::string& error) {
  if (!ReadInput(path, text, error)) return false;
  ks::CrLfToLf(text);
  if (text.empty()) {
    error = "settings file '" + path + "' is empty";
  } else if (text.find('\0') != std::string::npos) {
    error = "settings file '" + path + "' holds a zero byte";
  } else if (text.size() >= kKeptSettingSize) {
    error = ks::Format("settings text of '%s' has %d bytes; the starter keeps at most %d", path.c_str(),
                       static_cast<int>(text.size()), static_cast<int>(kKeptSettingSize - 1));
  } else if (require_role && !IsValidEmbeddedSettings(text.c_str())) {
    error = "settings text of '" + path + "' has no <__Role__> field; the starter would refuse it";
  } else {
    return true;
  }
  return false;
}

}  // namespace kstool
