#pragma once
// Maps the pages of a freshly allocated download buffer ahead of the bytes
// arriving in it, in time the watching thread would otherwise sleep, so the
// first touch of each page is not paid by the receiving thread. Each page is
// touched with an atomic compare-exchange of zero for zero on its first
// word: whatever the download has stored there (or stores at the same
// moment) is never changed.
#include <atomic>
#include <cstddef>

class PagePrefault {
 public:
  // `received`: the download's count of bytes stored from the buffer's start;
  // pages below it need no touch.
  PagePrefault(unsigned char* buffer, size_t size, const std::atomic<int>* received);

  // Touches up to `pages` of the pages still untouched; false once none is left.
  bool Touch(size_t pages);

 private:
  unsigned char* buffer_;
  size_t size_;
  const std::atomic<int>* received_;
  size_t offset_;  // of the next page start
};
