#include "base/mapped_file_win.h"

namespace ks {

bool MappedFile::Open(const wchar_t* path, size_t max_size) {
  Close();
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  // A failed open leaves file() null, as a closed one.
  if (file == INVALID_HANDLE_VALUE) return false;
  file_.reset(file);
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file_.get(), &size)) {
    DWORD error = GetLastError();
    Close();
    SetLastError(error);
    return false;
  }
  if (size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) > max_size) {
    Close();
    SetLastError(ERROR_FILE_TOO_LARGE);
    return false;
  }
  if (size.QuadPart == 0) return true;  // nothing to map
  mapping_.reset(CreateFileMappingW(file_.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  void* view = mapping_ ? MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 0) : nullptr;
  if (view == nullptr) {
    DWORD error = GetLastError();
    Close();
    SetLastError(error);
    return false;
  }
  view_ = static_cast<const unsigned char*>(view);
  size_ = static_cast<size_t>(size.QuadPart);
  return true;
}

void MappedFile::Close() {
  if (view_ != nullptr) UnmapViewOfFile(view_);
  view_ = nullptr;
  size_ = 0;
  mapping_.reset();
  file_.reset();
}

}  // namespace ks
