#pragma once
// Inflates one archive body, a single zlib stream of a known length, from a
// source into a sink with two fixed 4096-byte buffers: a body is never held
// whole in memory, whatever its size.
#include <cstdint>

#include "package/byte_stream.h"

namespace package {

const size_t kInflateBufferSize = 4096;

enum class InflateResult {
  kOk,             // the stream ended exactly at the end of the body
  kStreamError,    // corrupt data, or the body ends before its stream does
  kWriteError,     // the sink stored nothing
  kTrailingBytes,  // the stream ended before the body did
};

// Reads exactly `body_length` bytes of the source on success (on a stream
// error possibly fewer). `unused_bytes`, when given, receives the count of
// body bytes after the end of the stream (kTrailingBytes).
InflateResult InflateBody(ByteSource& source, uint32_t body_length, ByteSink& sink,
                          uint32_t* unused_bytes = nullptr);

}  // namespace package
