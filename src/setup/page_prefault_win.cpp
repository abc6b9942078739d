#include "setup/page_prefault_win.h"

#include <windows.h>

#include <cstdint>

namespace {

const size_t kPageSize = 4096;

}  // namespace

PagePrefault::PagePrefault(unsigned char* buffer, size_t size, const std::atomic<int>* received)
    : buffer_(buffer), size_(buffer != nullptr ? size : 0), received_(received), offset_(0) {
  // The first whole page; an aligned word at its start.
  uintptr_t start = reinterpret_cast<uintptr_t>(buffer_);
  offset_ = static_cast<size_t>((kPageSize - start % kPageSize) % kPageSize);
}

bool PagePrefault::Touch(size_t pages) {
  for (; pages > 0 && offset_ + sizeof(LONG) <= size_; offset_ += kPageSize, --pages) {
    // Pages the download has reached are mapped already.
    int received = received_ != nullptr ? received_->load(std::memory_order_relaxed) : 0;
    if (received > 0 && offset_ < static_cast<size_t>(received)) {
      offset_ = static_cast<size_t>(received) - (static_cast<size_t>(received) - offset_) % kPageSize;
      continue;
    }
    InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(buffer_ + offset_), 0, 0);
  }
  return offset_ + sizeof(LONG) <= size_;
}
