#include "crash/compress_buffer.h"

#include <zlib.h>

#include <cstring>

namespace {

const size_t kPieceSize = 4096;

// Moves what the compressor left in `work` to the output; false when it would
// not fit.
bool MoveOut(const unsigned char* work, size_t produced, unsigned char* output, size_t capacity, size_t* used) {
  if (produced > capacity - *used) return false;
  if (produced != 0) memcpy(output + *used, work, produced);
  *used += produced;
  return true;
}

}  // namespace

size_t CompressBuffer(const unsigned char* input, size_t count, unsigned char* output, size_t capacity) {
  if ((input == nullptr && count != 0) || output == nullptr) return 0;
  z_stream stream;
  memset(&stream, 0, sizeof stream);
  if (deflateInit(&stream, 6) != Z_OK) return 0;

  unsigned char work[kPieceSize];
  size_t used = 0;
  size_t offset = 0;
  bool ok = true;
  // Input goes in pieces of at most 4,096 bytes; each piece is compressed
  // until the compressor has taken all of it.
  while (ok && offset < count) {
    size_t piece = count - offset < kPieceSize ? count - offset : kPieceSize;
    stream.next_in = const_cast<Bytef*>(input + offset);
    stream.avail_in = static_cast<uInt>(piece);
    offset += piece;
    do {
      stream.next_out = work;
      stream.avail_out = sizeof work;
      if (deflate(&stream, Z_NO_FLUSH) == Z_STREAM_ERROR) {
        ok = false;
        break;
      }
      ok = MoveOut(work, sizeof work - stream.avail_out, output, capacity, &used);
    } while (ok && (stream.avail_in != 0 || stream.avail_out == 0));
  }
  while (ok) {
    stream.next_in = nullptr;
    stream.avail_in = 0;
    stream.next_out = work;
    stream.avail_out = sizeof work;
    int status = deflate(&stream, Z_FINISH);
    if (status == Z_STREAM_ERROR) {
      ok = false;
      break;
    }
    ok = MoveOut(work, sizeof work - stream.avail_out, output, capacity, &used);
    if (status == Z_STREAM_END) break;
  }
  deflateEnd(&stream);
  return ok ? used : 0;
}
