#include <windows.h>

#include <cstdio>

#include "base/file_data.h"
#include "base/handles_win.h"
#include "base/log_api.h"
#include "base/text.h"
#include "base/wide_text.h"

namespace Utility {
namespace {

const size_t kNoLimit = static_cast<size_t>(-1);

FileReadResult ReadAll(const char* file_name, const wchar_t* mode, size_t max_bytes, std::string& content) {
  content.clear();
  if (file_name == nullptr || *file_name == '\0') return FileReadResult::kMissing;
  std::wstring path = Widen(file_name);
  if (path.empty()) return FileReadResult::kMissing;
  ks::UniqueFile file(_wfopen(path.c_str(), mode));
  if (!file) return FileReadResult::kMissing;
  char buffer[16384];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    if (got > max_bytes - content.size()) {
      content.clear();
      content.shrink_to_fit();
      return FileReadResult::kTooLarge;
    }
    content.append(buffer, got);
  }
  return FileReadResult::kRead;
}

bool ReadAll(const char* file_name, const wchar_t* mode, std::string& content) {
  return ReadAll(file_name, mode, kNoLimit, content) == FileReadResult::kRead;
}

}  // namespace

bool GetFileData(const char* file_name, std::string& content) {
  if (ReadTextFile(file_name, content)) return true;
  KS_LOG(0, "Utility::GetFileData()", "Failed to open sFileName %s", file_name ? file_name : "");
  return false;
}

bool ReadTextFile(const char* file_name, std::string& content) { return ReadAll(file_name, L"r", content); }

bool ReadWholeFile(const char* file_name, std::string& content) { return ReadAll(file_name, L"rb", content); }

FileReadResult GetFileData(const char* file_name, size_t max_bytes, std::string& content) {
  FileReadResult result = ReadAll(file_name, L"r", max_bytes, content);
  if (result == FileReadResult::kMissing)
    KS_LOG(0, "Utility::GetFileData()", "Failed to open sFileName %s", file_name ? file_name : "");
  return result;
}

FileReadResult ReadWholeFileUpTo(const char* file_name, size_t max_bytes, std::string& content) {
  return ReadAll(file_name, L"rb", max_bytes, content);
}

FileReadResult ReadTextFileUpTo(const char* file_name, size_t max_bytes, std::string& content) {
  FileReadResult result = ReadAll(file_name, L"rb", max_bytes, content);
  ks::CrLfToLf(content);
  return result;
}

long long FileSize(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path == nullptr || !GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

long long FileSize(const char* file_name) { return FileSize(Widen(file_name).c_str()); }

}  // namespace Utility
