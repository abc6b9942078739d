#pragma once
// Package archive bytes put together field by field, for the archives the
// archive writer itself refuses to make: unsafe names, lying lengths, cut
// or corrupt bodies.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "package/package_writer.h"

namespace kstest {

inline std::string U32(uint32_t v) {
  std::string out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return out;
}

// An entry with every field as given, however inconsistent.
inline std::string RawEntry(uint32_t name_length, const std::string& name_bytes, uint32_t body_length,
                            const std::string& body) {
  return U32(name_length) + name_bytes + U32(body_length) + std::string(2, '\0') + body;
}

// An entry under `name` whose stored bytes are `body`, as they are.
inline std::string RawEntry(const std::string& name, const std::string& body) {
  return RawEntry(static_cast<uint32_t>(name.size() + 1), name + std::string(1, '\0'),
                  static_cast<uint32_t>(body.size()), body);
}

// A well-formed entry, `content` compressed as the writer does, under a name
// the writer may refuse.
inline std::string RawCompressedEntry(const std::string& name, const std::string& content) {
  std::string body;
  EXPECT_TRUE(package::CompressBody(content.data(), content.size(), &body));
  return RawEntry(name, body);
}

// An entry as the archive writer makes it.
inline std::string WrittenEntry(const std::string& name, const std::string& content) {
  std::string archive;
  EXPECT_TRUE(package::AppendFile(&archive, name, content));
  return archive;
}

}  // namespace kstest
