#include "system/status_file_handler_win.h"

#include <windows.h>

#include <cstring>

#include "base/file_data.h"
#include "base/log_api.h"
#include "base/transient_retry_win.h"
#include "base/wide_text.h"
#include "system/status_file_text.h"

namespace {

// The file holds one short field; anything far larger is not a status file
// and is neither read into memory nor rewritten.
const size_t kMaxContentSize = 64 * 1024;


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
  // Read as text (CR LF becomes LF), but whole: a text-mode read would end at
  // a Ctrl-Z, and a rewrite would then drop the rest of the file. The fields
  // are looked for only before the first zero byte; the rest is kept.
  // A file another program holds for a moment is waited for.
  Utility::FileReadResult read = Utility::FileReadResult::kMissing;
  std::wstring wide = Widen(joined);
  ks::RetryTransient(operation, "read", wide.c_str(), [&] {
    read = Utility::ReadTextFileUpTo(joined, kMaxContentSize, content);
    return read != Utility::FileReadResult::kMissing;
  });
  switch (read) {
    case Utility::FileReadResult::kRead:
      existed = true;
      return true;
    case Utility::FileReadResult::kTooLarge:
      KS_LOG(3, operation, "refused %s: larger than %d bytes", joined, static_cast<int>(kMaxContentSize));
      return false;
    case Utility::FileReadResult::kMissing:
      break;
  }
  // Only a file that is not there is replaced by the default content; one
  // that is there but cannot be read (another program holds it) is kept.
  if (GetFileAttributesW(Widen(joined).c_str()) != INVALID_FILE_ATTRIBUTES) {
    KS_LOG(3, operation, "failed to read %s", joined);
    return false;
  }
  existed = false;
  content = kStatusFileDefaultContent;
  return true;
}

bool StatusFileHandler::ReadStatus(int type, const char* directory, const char* opening_tag,
                                   const char* closing_tag, char* value) {
  const char* operation = "StatusFileHandler::ReadStatus";
  std::string path;
  std::string content;
  bool existed = false;
  if (!ReadCurrentContent(operation, type, directory, path, content, existed)) return false;
  if (!existed && !Utility::ReplaceTextFile(operation, path.c_str(), content)) return false;
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
  return Utility::ReplaceTextFile(operation, path.c_str(), updated);
}
