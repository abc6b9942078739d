#pragma once
// Bounded little-endian reads over bytes that came from outside (a dump, a
// program file): every read is asked for with Holds first, or goes through
// the Read* forms, which fail instead of reading past the end.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ks {

class LeBytes {
 public:
  LeBytes(const unsigned char* data, size_t size) : data_(data), size_(data == nullptr ? 0 : size) {}
  explicit LeBytes(std::string_view bytes)
      : LeBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) {}

  // Whether `length` bytes at `offset` lie inside.
  bool Holds(uint64_t offset, uint64_t length) const { return offset <= size_ && length <= size_ - offset; }

  // Unchecked: the caller has asked Holds.
  uint8_t U8(size_t at) const { return data_[at]; }
  uint16_t U16(size_t at) const { return static_cast<uint16_t>(data_[at] | data_[at + 1] << 8); }
  uint32_t U32(size_t at) const { return static_cast<uint32_t>(U16(at)) | static_cast<uint32_t>(U16(at + 2)) << 16; }
  uint64_t U64(size_t at) const { return static_cast<uint64_t>(U32(at)) | static_cast<uint64_t>(U32(at + 4)) << 32; }

  // Checked: false when the value does not lie inside.
  bool ReadU16(uint64_t at, uint16_t& value) const { return Holds(at, 2) && (value = U16(static_cast<size_t>(at)), true); }
  bool ReadU32(uint64_t at, uint32_t& value) const { return Holds(at, 4) && (value = U32(static_cast<size_t>(at)), true); }
  bool ReadU64(uint64_t at, uint64_t& value) const { return Holds(at, 8) && (value = U64(static_cast<size_t>(at)), true); }

  const unsigned char* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  const unsigned char* data_;
  size_t size_;
};

}  // namespace ks
