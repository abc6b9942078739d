#pragma once
// zlib stream compression of a whole buffer into a caller's fixed room, as the
// error report packs its attachments.
#include <cstddef>

// Compresses `count` bytes (zlib format, level 6) into `output`. Returns the
// number of compressed bytes, or 0 when the compressed form does not fit
// `capacity` (or the compressor fails); nothing is written past `capacity`.
size_t CompressBuffer(const unsigned char* input, size_t count, unsigned char* output, size_t capacity);
