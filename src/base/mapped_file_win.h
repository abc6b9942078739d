#pragma once
// A file read through a mapping while it is held open denying writes: others
// may read it or remove its name, but its bytes cannot change until it is
// closed, so what was checked in it is what is used. Windows only.
#include <windows.h>

#include <cstddef>

#include "base/handles_win.h"

namespace ks {

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile() { Close(); }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Opens and maps the whole file, which may hold at most `max_size` bytes;
  // false with the system's error (ERROR_FILE_TOO_LARGE for a larger file).
  // An empty file opens with no bytes.
  bool Open(const wchar_t* path, size_t max_size);
  void Close();

  const unsigned char* data() const { return view_; }
  size_t size() const { return size_; }
  HANDLE file() const { return file_.get(); }  // null unless open

 private:
  UniqueHandle file_;
  UniqueHandle mapping_;
  const unsigned char* view_ = nullptr;
  size_t size_ = 0;
};

}  // namespace ks
