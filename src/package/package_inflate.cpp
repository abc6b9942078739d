#include "package/package_inflate.h"

#include <zlib.h>

namespace package {
namespace {

// Ends the inflate stream on every way out.
class InflateStream {
 public:
  InflateStream() : initialised_(false) {
    stream_ = z_stream();
    initialised_ = inflateInit(&stream_) == Z_OK;
  }
  ~InflateStream() {
    if (initialised_) inflateEnd(&stream_);
  }
  InflateStream(const InflateStream&) = delete;
  InflateStream& operator=(const InflateStream&) = delete;
  bool ok() const { return initialised_; }
  z_stream* get() { return &stream_; }

 private:
  z_stream stream_;
  bool initialised_;
};

}  // namespace

InflateResult InflateBody(ByteSource& source, uint32_t body_length, ByteSink& sink, uint32_t* unused_bytes) {
  if (unused_bytes != nullptr) *unused_bytes = 0;
  InflateStream inflater;
  if (!inflater.ok()) return InflateResult::kStreamError;
  z_stream* stream = inflater.get();

  unsigned char input[kInflateBufferSize];
  unsigned char output[kInflateBufferSize];
  uint32_t read_so_far = 0;
  int result = Z_OK;
  stream->avail_in = 0;

  for (;;) {
    if (stream->avail_in == 0) {
      if (read_so_far == body_length) break;
      uint32_t remaining = body_length - read_so_far;
      size_t want = remaining < kInflateBufferSize ? remaining : kInflateBufferSize;
      size_t got = source.Read(input, want);
      if (got == 0) break;
      read_so_far += static_cast<uint32_t>(got);
      stream->next_in = input;
      stream->avail_in = static_cast<uInt>(got);
    }
    stream->next_out = output;
    stream->avail_out = sizeof output;
    result = inflate(stream, Z_NO_FLUSH);
    size_t produced = sizeof output - stream->avail_out;
    if (produced != 0 && !WriteAll(sink, output, produced)) return InflateResult::kWriteError;
    if (result != Z_OK) break;
  }

  // Drain what the stream still holds; on a body that ended early this is
  // where zlib reports the missing end (Z_BUF_ERROR without output). With
  // Z_FINISH zlib also answers Z_BUF_ERROR while output is merely waiting for
  // room, so only a call that produced nothing ends the drain.
  for (;;) {
    stream->next_out = output;
    stream->avail_out = sizeof output;
    result = inflate(stream, Z_FINISH);
    size_t produced = sizeof output - stream->avail_out;
    if (produced != 0 && !WriteAll(sink, output, produced)) return InflateResult::kWriteError;
    if (result == Z_STREAM_END || produced == 0) break;
    if (result != Z_OK && result != Z_BUF_ERROR) break;
  }

  if (result != Z_OK && result != Z_STREAM_END) return InflateResult::kStreamError;
  // Bytes after the stream would shift every following entry; the archive
  // cannot be trusted past this point.
  uint32_t unused = stream->avail_in + (body_length - read_so_far);
  if (unused != 0) {
    if (unused_bytes != nullptr) *unused_bytes = unused;
    return InflateResult::kTrailingBytes;
  }
  return InflateResult::kOk;
}

}  // namespace package
