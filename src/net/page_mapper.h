#pragma once
// A package is received straight into a freshly allocated block, whose pages
// the system maps at their first touch. Touched inside a receive, every page
// holds up the receive while the socket waits; the thread that fills the
// block therefore maps the pages of each receive just before making it. The
// sender goes on filling the socket meanwhile, so the receive then takes
// more bytes at once, into pages that are ready. (A second thread mapping
// ahead takes the processor the sender needs and contends for the same
// page tables.) Portable: it only writes bytes.
#include <cstddef>

namespace ksnet {

class PageMapper {
 public:
  explicit PageMapper(char* buffer) : buffer_(buffer) {}

  // Maps the pages that begin within bytes [from, to) of the buffer, each
  // once. `from` is the first byte not yet stored: a page that begins before
  // it holds stored bytes and is mapped already, so only bytes that the next
  // receive is about to fill are ever written.
  void MapAhead(size_t from, size_t to);

 private:
  char* buffer_;
  size_t next_ = 0;  // offset of the first page start not yet written
};

}  // namespace ksnet
