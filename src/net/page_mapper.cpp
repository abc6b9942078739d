#include "net/page_mapper.h"

#include <cstdint>

namespace ksnet {
namespace {

const uintptr_t kPageSize = 4096;

}  // namespace

void PageMapper::MapAhead(size_t from, size_t to) {
  if (buffer_ == nullptr) return;
  uintptr_t start = reinterpret_cast<uintptr_t>(buffer_);
  size_t first_page = static_cast<size_t>(((start + from + kPageSize - 1) & ~(kPageSize - 1)) - start);
  if (next_ < first_page) next_ = first_page;
  // Volatile: the store is what maps the page, though the receive overwrites it.
  volatile char* bytes = buffer_;
  for (; next_ < to; next_ += kPageSize) bytes[next_] = 0;
}

}  // namespace ksnet
