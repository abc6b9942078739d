#pragma once
// The package byte source and sink over C-runtime files (the unpacker's
// archive and targets, kstool pack, the bench). Windows only: 64-bit seeks.
#include <cstdio>

#include "package/byte_stream.h"

namespace package {

class FileSource : public ByteSource {
 public:
  explicit FileSource(FILE* file) : file_(file) {}
  size_t Read(void* buffer, size_t size) override;
  // Refuses (and moves to the end) when the file ends before `count` bytes.
  bool Skip(uint32_t count) override;

 private:
  FILE* file_;
};

class FileSink : public ByteSink {
 public:
  explicit FileSink(FILE* file) : file_(file) {}
  size_t Write(const void* data, size_t size) override;

 private:
  FILE* file_;
};

}  // namespace package
