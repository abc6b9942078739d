#include "system/status_file_handler_win.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "base/file_data.h"
#include "base/handles_win.h"
#include "base/log_api.h"
#include "base/wide_text.h"
#include "system/status_file_text.h"

namespace {

bool WriteContent(const char* operation, const std::string& path, const std::string& content) {
  ks::UniqueFile file(_wfopen(Widen(path.c_str()).c_str(), L"w"));
  if (!file) {
    KS_LOG(3, operation, "failed to open %s for writing", path.c_str());
    return false;
  }
  fputs(content.c_str(), file.get());
  fflush(file.get());
  return true;
}

}  // namespace

bool StatusFileHandler::ReadCurrentContent(const char* operation, int type, const char* directory,
                                           std::string& path, std::string& content, bool& existed) {
  if (type != kSetupStatus) {
    KS_LOG(3, operation, "Invalid iStatusFileType = %d", type);
    return false;
  }
  char joined[512];
  if (!ks::FormatText(joined, sizeof joined, "%s\\%s", directory ? directory : "", "setup_status.txt")) {
    KS_LOG(3, operation, "failed to open %s for writing", "setup_status.txt");
    return false;
  }
  path = joined;
  existed = Utility::ReadTextFile(joined, content);
  content = StatusFileContent(existed, content);
  return true;
}

bool StatusFileHandler::ReadStatus(int type, const char* directory, const char* opening_tag,
                                   const char* closing_tag, char* value) {
  const char* operation = "StatusFileHandler::ReadStatus";
  std::string path;
  std::string content;
  bool existed = false;
  if (!ReadCurrentContent(operation, type, directory, path, content, existed)) return false;
  if (!existed && !WriteContent(operation, path, content)) return false;
  if (!ReadStatusField(content, opening_tag, closing_tag, value)) {
    KS_LOG(3, operation, "failed to find %s in %s", opening_tag ? opening_tag : "", content.c_str());
    return false;
  }
  return true;
}

bool StatusFileHandler::WriteStatus(int type, const char* directory, const char* opening_tag,
                                    const char* closing_tag, const char* value) {
  const char* operation = "StatusFileHandler::WriteStatus";
  std::string path;
  std::string content;
  bool existed = false;
  if (!ReadCurrentContent(operation, type, directory, path, content, existed)) return false;
  std::string updated;
  if (!RewriteStatusField(content, opening_tag, closing_tag, value, updated)) {
    KS_LOG(3, operation, "failed to replace %s for %s in %s", value ? value : "", opening_tag ? opening_tag : "",
           content.c_str());
    return false;
  }
  return WriteContent(operation, path, updated);
}
