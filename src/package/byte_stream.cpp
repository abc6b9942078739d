#include "package/byte_stream.h"

#include <cstring>

namespace package {

size_t MemorySource::Read(void* buffer, size_t size) {
  size_t available = size_ - position_;
  size_t count = size < available ? size : available;
  if (count != 0) memcpy(buffer, data_ + position_, count);
  position_ += count;
  return count;
}

bool MemorySource::Skip(uint32_t count) {
  if (count > size_ - position_) {
    position_ = size_;
    return false;
  }
  position_ += count;
  return true;
}

size_t StringSink::Write(const void* data, size_t size) {
  if (out_->size() > limit_ || size > limit_ - out_->size()) return 0;
  out_->append(static_cast<const char*>(data), size);
  return size;
}

bool WriteAll(ByteSink& sink, const void* data, size_t size) {
  const char* rest = static_cast<const char*>(data);
  while (size != 0) {
    size_t stored = sink.Write(rest, size);
    if (stored == 0 || stored > size) return false;
    rest += stored;
    size -= stored;
  }
  return true;
}

}  // namespace package
