#pragma once
// Byte sources and sinks the package code streams through, so the archive
// reader, the inflater and the writer work the same over files and memory.
#include <cstddef>
#include <cstdint>
#include <string>

namespace package {

class ByteSource {
 public:
  virtual ~ByteSource() {}
  // Reads up to `size` bytes; fewer only when the data ends or cannot be read.
  virtual size_t Read(void* buffer, size_t size) = 0;
  // Moves forward by `count` bytes; false when the data ends before that.
  virtual bool Skip(uint32_t count) = 0;
};

class ByteSink {
 public:
  virtual ~ByteSink() {}
  // Stores up to `size` bytes and tells how many it stored (0 is a failure).
  virtual size_t Write(const void* data, size_t size) = 0;
};

// Reads from a block of memory that outlives the source.
class MemorySource : public ByteSource {
 public:
  MemorySource(const void* data, size_t size)
      : data_(static_cast<const unsigned char*>(data)), size_(size), position_(0) {}
  explicit MemorySource(const std::string& data) : MemorySource(data.data(), data.size()) {}
  explicit MemorySource(std::string&&) = delete;  // would read a destroyed temporary
  size_t Read(void* buffer, size_t size) override;
  bool Skip(uint32_t count) override;
  size_t Position() const { return position_; }

 private:
  const unsigned char* data_;
  size_t size_;
  size_t position_;
};

// Appends everything to a string; with a `limit`, a write that would take it
// past that many bytes stores nothing (a failed write).
class StringSink : public ByteSink {
 public:
  explicit StringSink(std::string* out, size_t limit = static_cast<size_t>(-1)) : out_(out), limit_(limit) {}
  size_t Write(const void* data, size_t size) override;

 private:
  std::string* out_;
  size_t limit_;
};

// Stores every byte of the block, repeating short writes; false when a write
// stores nothing.
bool WriteAll(ByteSink& sink, const void* data, size_t size);

}  // namespace package
