#include <windows.h>

#include <cstring>
#include <string>

#include "base/error_text.h"
#include "base/handles_win.h"
#include "base/log_api.h"
#include "base/transient_retry_win.h"
#include "base/wide_text.h"
#include "system/remove_all_file.h"

namespace {

const size_t kPathSize = 512;
const char kOperation[] = "Utility::RemoveAllFile";

std::string SystemMessage(DWORD code) {
  wchar_t text[1024] = L"";
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 1024, nullptr);
  return Narrow(text);
}

bool RemoveAllBelow(const std::wstring& path, const char* keep) {
  const std::string narrow_path = Narrow(path.c_str());
  WIN32_FIND_DATAW data;
  ks::UniqueFind find;
  if (path.size() + 2 < kPathSize) find.reset(FindFirstFileW((path + L"\\*").c_str(), &data));
  if (!find) {
    RemoveDirectoryW(path.c_str());
    return false;
  }
  do {
    if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0) continue;
    std::wstring full = path + L"\\" + data.cFileName;
    if (full.size() >= kPathSize) continue;
    DWORD attributes = data.dwFileAttributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesW(full.c_str(), attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // A linked directory leads elsewhere: remove the link, never what it
      // points to.
      if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        RemoveDirectoryW(full.c_str());
      else
        RemoveAllBelow(full, keep);
      continue;
    }
    if (keep != nullptr && *keep != '\0' && strstr(Narrow(full.c_str()).c_str(), keep) != nullptr) continue;
    // A scanner may hold a file of an earlier run for a moment.
    ks::RetryTransient(kOperation, "delete", full.c_str(), [&] { return DeleteFileW(full.c_str()) != FALSE; });
  } while (FindNextFileW(find.get(), &data));
  find.reset();

  ks::RetryTransient(kOperation, "remove", path.c_str(), [&] { return RemoveDirectoryW(path.c_str()) != FALSE; });
  DWORD error = GetLastError();
  std::string message = SystemMessage(error);
  KS_LOG(3, "Utility::RemoveAllFile", "End of RemoveAllFile: path = %s, %s, error code: %d, error: %s",
         narrow_path.c_str(), message.c_str(), static_cast<int>(error), GetErrorText(static_cast<int>(error)));
  return true;
}

}  // namespace

namespace Utility {

bool RemoveAllFile(const char* path, const char* keep) {
  if (path == nullptr || *path == '\0') return false;
  wchar_t wide[kPathSize];
  if (!UTF8ToUTF16(path, wide, static_cast<int>(kPathSize))) return false;
  return RemoveAllBelow(wide, keep);
}

}  // namespace Utility
