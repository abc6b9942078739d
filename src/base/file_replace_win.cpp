#include <windows.h>

#include <cstdio>

#include "base/file_data.h"
#include "base/handles_win.h"
#include "base/log_api.h"
#include "base/transient_retry_win.h"
#include "base/wide_text.h"

namespace Utility {
namespace {

enum class WriteResult { kWritten, kNotOpened, kNotWritten };

WriteResult WriteText(const char* operation, const std::wstring& path, const std::string& content) {
  ks::UniqueFile file(ks::OpenFileRetrying(operation, path.c_str(), L"w"));
  if (!file) return WriteResult::kNotOpened;
  bool written = fwrite(content.data(), 1, content.size(), file.get()) == content.size();
  written = fflush(file.get()) == 0 && written;
  written = fclose(file.release()) == 0 && written;
  return written ? WriteResult::kWritten : WriteResult::kNotWritten;
}

}  // namespace

bool ReplaceTextFile(const char* operation, const char* file_name, const std::string& content) {
  std::wstring path = file_name ? Widen(file_name) : std::wstring();
  if (path.empty()) {
    KS_LOG(3, operation, "failed to open %s for writing", file_name ? file_name : "");
    return false;
  }
  // A read-only file refuses the write, replaced or not; a hidden or system
  // one keeps those marks on its new text.
  DWORD attributes = GetFileAttributesW(path.c_str());
  bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!exists || (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
    std::wstring staged = path + L".new";
    if (WriteText(operation, staged, content) == WriteResult::kWritten &&
        ks::RetryTransient(operation, "replace", path.c_str(), [&] {
          return MoveFileExW(staged.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
        })) {
      if (exists) SetFileAttributesW(path.c_str(), attributes);
      return true;
    }
    DeleteFileW(staged.c_str());
  }

  // Another program may hold the file open so that it cannot be replaced;
  // then it is rewritten in place, as it always could be.
  switch (WriteText(operation, path, content)) {
    case WriteResult::kWritten:
      return true;
    case WriteResult::kNotOpened:
      KS_LOG(3, operation, "failed to open %s for writing", file_name);
      return false;
    case WriteResult::kNotWritten:
      break;
  }
  KS_LOG(3, operation, "failed to write %s", file_name);
  return false;
}

}  // namespace Utility
