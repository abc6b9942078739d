// The socket fetch's reply reading, fed in segments whose sizes the input
// chooses. Input layout:
//   byte 0     bit 0 small reads, bit 1 receive into the caller's room,
//              bit 2 the caller knows the length (bytes 1-2), bit 3 the peer
//              ends with an error instead of closing, bit 4 segment sizes
//              count in 64-byte steps, bit 5 a long header line goes
//              first so the header ends near the first block's end
//   bytes 1-2  the known length (little-endian) when bit 2 is set
//   byte 3     n, the number of segment-size bytes that follow (at most 16)
//   n bytes    segment sizes, used in turn (0: everything left)
//   the rest   the reply as the server sends it
// Whatever arrives, the body never grows past its block (or the room), a
// body of announced length is the bytes that followed the header, and the
// progress counter never passes the body size, except that bytes beyond a
// length the caller knows that arrive with it are counted (never stored) and
// fail the fetch, as does a header that announces another length.
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "net/socket_reply.h"

namespace {

// A length beyond this is not received: holding a block that large proves
// nothing more and only costs memory (the first block is still analysed).
const int kLargestBody = 1 << 20;

class SegmentSource : public ksnet::ReplySource {
 public:
  SegmentSource(const std::string& reply, const std::vector<size_t>& sizes, bool end_with_error)
      : reply_(reply), sizes_(sizes), end_with_error_(end_with_error) {}

  // What the first receive delivers: the first segment, within the block.
  size_t FirstSegment(int capacity) const { return Segment(0, 0, capacity); }

  int Receive(char* buffer, int capacity) override {
    KS_FUZZ_CHECK(capacity > 0);
    if (offset_ >= reply_.size()) {
      ++calls_after_end_;
      KS_FUZZ_CHECK(calls_after_end_ == 1);  // the reader stops at the end
      return end_with_error_ ? -1 : 0;
    }
    size_t n = Segment(next_++, offset_, capacity);
    memcpy(buffer, reply_.data() + offset_, n);
    offset_ += n;
    return static_cast<int>(n);
  }
  int LastError() const override { return 10054; }
  const char* ErrorText(int) const override { return "connection reset"; }

 private:
  size_t Segment(size_t index, size_t offset, int capacity) const {
    size_t left = reply_.size() - offset;
    size_t n = sizes_.empty() ? left : sizes_[index % sizes_.size()];
    if (n == 0 || n > left) n = left;
    if (n > static_cast<size_t>(capacity)) n = static_cast<size_t>(capacity);
    return n;
  }

  std::string reply_;
  std::vector<size_t> sizes_;
  bool end_with_error_;
  size_t offset_ = 0;
  size_t next_ = 0;
  int calls_after_end_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const unsigned flags = data[0];
  const bool small_reads = (flags & 1) != 0;
  const bool use_room = (flags & 2) != 0;
  const int known = (flags & 4) != 0 ? data[1] | (data[2] << 8) : 0;
  const bool end_with_error = (flags & 8) != 0;
  const size_t step = (flags & 16) != 0 ? 64 : 1;
  size_t count = data[3] % 17;
  if (4 + count > size) count = size - 4;
  std::vector<size_t> sizes;
  for (size_t i = 0; i < count; ++i) sizes.push_back(data[4 + i] * step);
  std::string reply(reinterpret_cast<const char*>(data) + 4 + count, size - 4 - count);
  if ((flags & 32) != 0) {
    // A full first block, whose header may or may not end inside it.
    size_t filler = ksnet::kFirstBlockSize - 64 + data[1] % 96;
    reply = "X-Filler: " + std::string(filler, 'f') + "\r\n" + reply;
  }

  SegmentSource source(reply, sizes, end_with_error);
  size_t first_length = source.FirstSegment(ksnet::kFirstBlockSize - 1);
  ksnet::FirstBlock first = ksnet::AnalyzeFirstBlock(reply.data(), first_length, known,
                                                     first_length == ksnet::kFirstBlockSize - 1);
  if (first.has_header_end) KS_FUZZ_CHECK(first.body_offset >= 4 && first.body_offset <= first_length);
  if (first.kind == ksnet::FirstBlockKind::kLength) {
    KS_FUZZ_CHECK(first.expected_size >= 0);
    if (first.expected_size > kLargestBody) return 0;
  }

  const size_t room_size = 1 + reply.size() / 2;
  std::unique_ptr<char[]> room(use_room ? new char[room_size] : nullptr);
  std::unique_ptr<char[]> body;
  int body_size = -1;
  std::atomic<int> received(-1);
  bool ok = ksnet::ReceiveReply(source, known, small_reads, &body, &body_size, &received, room.get(),
                                use_room ? room_size : 0);

  const int progress = received.load();
  if (first_length == 0) {
    KS_FUZZ_CHECK(!ok && body == nullptr && body_size == 0);
    return 0;
  }
  switch (first.kind) {
    case ksnet::FirstBlockKind::kInvalidHeader:
    case ksnet::FirstBlockKind::kInvalidLength:
      KS_FUZZ_CHECK(!ok && body == nullptr);
      return 0;
    case ksnet::FirstBlockKind::kNoContentLength: {
      size_t offset = first.has_header_end ? first.body_offset : 0;
      KS_FUZZ_CHECK(ok && body != nullptr && body_size == static_cast<int>(first_length - offset));
      KS_FUZZ_CHECK(memcmp(body.get(), reply.data() + offset, first_length - offset) == 0);
      KS_FUZZ_CHECK(body[body_size] == '\0');
      KS_FUZZ_CHECK(progress == body_size);
      return 0;
    }
    case ksnet::FirstBlockKind::kLength:
      break;
  }
  const int expected = first.expected_size;
  KS_FUZZ_CHECK(body_size == expected);
  if (expected < 1) {
    KS_FUZZ_CHECK(ok && body == nullptr);
    return 0;
  }
  if (!first.has_header_end) {
    KS_FUZZ_CHECK(!ok);
    return 0;
  }
  const bool counted = known != 0;
  if (counted && first.length_conflict) {
    KS_FUZZ_CHECK(!ok && body == nullptr && progress == 0);
    return 0;
  }
  KS_FUZZ_CHECK(progress >= 0 && (counted || progress <= expected));
  const bool in_room = use_room && static_cast<size_t>(expected) <= room_size;
  KS_FUZZ_CHECK(in_room ? body == nullptr : body != nullptr || !ok);
  const char* stored = in_room ? room.get() : body.get();
  size_t available = reply.size() - first.body_offset;
  if (ok) {
    KS_FUZZ_CHECK(progress == expected && available >= static_cast<size_t>(expected));
    KS_FUZZ_CHECK(memcmp(stored, reply.data() + first.body_offset, static_cast<size_t>(expected)) == 0);
  } else if (progress > expected) {
    // Bytes beyond the caller's length: really sent, counted, not stored.
    KS_FUZZ_CHECK(available > static_cast<size_t>(expected) && static_cast<size_t>(progress) <= available);
    if (stored != nullptr)
      KS_FUZZ_CHECK(memcmp(stored, reply.data() + first.body_offset, static_cast<size_t>(expected)) == 0);
  } else {
    // An early close: what arrived is handed over, and it is all there was.
    KS_FUZZ_CHECK(available < static_cast<size_t>(expected) && progress == static_cast<int>(available));
    if (stored != nullptr)
      KS_FUZZ_CHECK(memcmp(stored, reply.data() + first.body_offset, available) == 0);
  }
  return 0;
}
