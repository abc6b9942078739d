#pragma once
// Maps the pages of a freshly allocated download buffer ahead of the bytes
// arriving in it, on a thread of its own at below-normal priority, so the
// first touch of each page is paid in time the download leaves idle rather
// than by the receiving thread. Each page is touched with an atomic
// compare-exchange of zero for zero on its first word: whatever the download
// has stored there (or stores at the same moment) is never changed.
#include <windows.h>

#include <atomic>
#include <cstddef>

class PagePrefault {
 public:
  // `received`: the download's count of bytes stored from the buffer's start;
  // pages below it need no touch.
  PagePrefault(unsigned char* buffer, size_t size, const std::atomic<int>* received);
  // Stops and waits for the thread.
  ~PagePrefault();
  PagePrefault(const PagePrefault&) = delete;
  PagePrefault& operator=(const PagePrefault&) = delete;

 private:
  static DWORD WINAPI Run(void* self);

  unsigned char* buffer_;
  size_t size_;
  const std::atomic<int>* received_;
  std::atomic<bool> stop_;
  HANDLE thread_;
};
