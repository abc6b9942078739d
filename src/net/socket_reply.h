#pragma once
// Reading the reply of the socket fetch: the header must lie in the first
// received block; the body is either everything after it (no Content-Length)
// or exactly the announced or expected length, counted as it arrives so
// another thread can show progress. Portable: the socket is reached only
// through ReplySource, so the whole exchange runs against scripted segments
// in the native tests.
#include <atomic>
#include <cstddef>
#include <memory>

#include "net/range_reply.h"

namespace ksnet {

constexpr int kFirstBlockSize = 65536;  // one receive of up to 65535 bytes
constexpr int kLargePieceSize = 65536;
constexpr int kSmallPieceSize = 14336;  // counted downloads: small progress steps
constexpr int kDirectReceiveLimit = 4 * 1024 * 1024;  // one receive straight into the body
constexpr size_t kContentLengthTextLimit = 31;
constexpr int kBeyondWaitMs = 100;  // a length-less counted reply's moment to show more

class ReplySource {
 public:
  virtual ~ReplySource() {}
  // Like recv: bytes received (at most `capacity`), 0 when the peer closed,
  // below 0 on error.
  virtual int Receive(char* buffer, int capacity) = 0;
  virtual int LastError() const = 0;
  virtual const char* ErrorText(int code) const = 0;
  // Once a counted body is in, more bytes from a peer that announced no
  // length: those that arrive within `wait_ms` (at most `capacity`), or 0
  // when none came by then, the peer closed or the receive failed.
  virtual int ReceiveWithin(char* /*buffer*/, int /*capacity*/, int /*wait_ms*/) { return 0; }
};

enum class FirstBlockKind {
  kNoContentLength,  // body = bytes after the header end (or the whole block)
  kLength,           // expected_size holds the given or announced length
  kInvalidHeader,    // header larger than the block, or an over-long length text
  kInvalidLength,    // announced length below 0 or beyond a 32-bit signed count
};

struct FirstBlock {
  FirstBlockKind kind = FirstBlockKind::kInvalidHeader;
  int expected_size = 0;
  bool has_header_end = false;
  size_t body_offset = 0;  // first body byte (valid with has_header_end)
  // With a length the caller knows: whether the header announces one, and
  // whether that is another.
  bool announces_length = false;
  bool length_conflict = false;
};

// Pure analysis of the first block. A non-zero `expected_size` is the length
// the caller knows; 0 means the length comes from "Content-Length:", searched
// (case-sensitively) in the header only. `block_full`: the receive filled the block, so a header
// without its end may go on beyond it.
FirstBlock AnalyzeFirstBlock(const char* block, size_t length, int expected_size, bool block_full);

// Whether a Content-Length value text (as read after the colon, up to the
// line end) announces exactly `expected` bytes. Read as atoi reads, but an
// over-long, negative or out-of-range text announces no length at all.
bool ContentLengthEquals(const char* text, size_t length, int expected);

// Steps after the request was sent. On entry *body is emptied and *body_size
// set to 0. Success: the body (announced length + 1 bytes, or the bytes after
// the header + 1) and its size; no body when the length is 0 or less. Bytes
// beyond the announced length are dropped (and logged), never stored. A peer
// that closes early fails with the partial body handed over. `received`
// (may be null) is updated after every piece.
// A length the caller knows (a counted download) must be the reply's exact
// length: a header announcing another one fails at once (with `received` at
// 0), and bytes beyond it that arrive with the expected ones fail the fetch;
// they are counted in `received` but never stored. Once the expected length
// is in, a reply that announced it is not read further (a keep-alive peer may
// hold the connection open); one that announced none is given kBeyondWaitMs
// to show bytes beyond it, never a wait without end.
// `room` (may be null) is space the caller already holds for the body: a
// body of known length that fits its `room_size` bytes is received straight
// into it and *body stays empty, so a package is held once, not twice; the
// partial body of an early close is then left there (bytes past it may read
// as zeros: pages are mapped ahead of the receives).
// `range` (may be null; used only with a room of the whole length) is what
// the room holds of the body and what the request asked for: a reply to a
// request for the rest must be its 206 continuation (it lands after the
// bytes held, and the counts include them) or a 200 (taken whole); anything
// else fails before a byte of it is taken. `range->stored` follows the bytes
// held as they arrive, and a body taken whole brings its own validator.
bool ReceiveReply(ReplySource& source, int expected_size, bool small_reads, std::unique_ptr<char[]>* body,
                  int* body_size, std::atomic<int>* received, char* room = nullptr, size_t room_size = 0,
                  RangeState* range = nullptr);

}  // namespace ksnet
