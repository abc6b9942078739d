#include "setup/page_prefault_win.h"

namespace {

const size_t kPageSize = 4096;

}  // namespace

PagePrefault::PagePrefault(unsigned char* buffer, size_t size, const std::atomic<int>* received)
    : buffer_(buffer), size_(size), received_(received), stop_(false), thread_(nullptr) {
  if (buffer_ == nullptr || size_ < kPageSize) return;
  thread_ = CreateThread(nullptr, 64 * 1024, &PagePrefault::Run, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread_ != nullptr) SetThreadPriority(thread_, THREAD_PRIORITY_BELOW_NORMAL);
}

PagePrefault::~PagePrefault() {
  if (thread_ == nullptr) return;
  stop_.store(true);
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
}

DWORD WINAPI PagePrefault::Run(void* self_pointer) {
  PagePrefault* self = static_cast<PagePrefault*>(self_pointer);
  // The first whole page; an aligned word at its start.
  uintptr_t start = reinterpret_cast<uintptr_t>(self->buffer_);
  size_t offset = static_cast<size_t>((kPageSize - start % kPageSize) % kPageSize);
  for (; offset + sizeof(LONG) <= self->size_ && !self->stop_.load(std::memory_order_relaxed); offset += kPageSize) {
    // Pages the download has reached are mapped already.
    int received = self->received_ != nullptr ? self->received_->load(std::memory_order_relaxed) : 0;
    if (received > 0 && offset < static_cast<size_t>(received)) {
      offset = static_cast<size_t>(received) - (static_cast<size_t>(received) - offset) % kPageSize;
      continue;
    }
    InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(self->buffer_ + offset), 0, 0);
  }
  return 0;
}
