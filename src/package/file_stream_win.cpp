#include "package/file_stream_win.h"

#include <io.h>

namespace package {

size_t FileSource::Read(void* buffer, size_t size) { return fread(buffer, 1, size, file_); }

bool FileSource::Skip(uint32_t count) {
  long long position = _ftelli64(file_);
  long long size = _filelengthi64(_fileno(file_));
  if (position < 0 || size < position || static_cast<unsigned long long>(size - position) < count) {
    _fseeki64(file_, 0, SEEK_END);
    return false;
  }
  return _fseeki64(file_, static_cast<long long>(count), SEEK_CUR) == 0;
}

size_t FileSink::Write(const void* data, size_t size) { return fwrite(data, 1, size, file_); }

}  // namespace package
