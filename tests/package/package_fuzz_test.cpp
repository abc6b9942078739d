// Random and mutated archives through the unpack walk: whatever the bytes, the
// walk ends with a clear result, never reads or writes out of bounds (the
// native build runs this under ASan/UBSan), and never asks for a directory or
// file outside its destination.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "package/memory_target.h"
#include "package/package_unpack.h"
#include "package/package_writer.h"

namespace {

const char kDestination[] = "D:\\dest";

std::string U32(uint32_t v) {
  std::string out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return out;
}

// Names an attacker would try, and a few harmless ones.
const char* const kNames[] = {"a.txt",       "bin\\tool.dll", "..\\up.txt",  "x\\..\\..\\up.txt", "C:\\abs.txt",
                              "c:rel.txt",   "\\root.txt",    "/root.txt",   "x/../../up.txt",    "...\\y",
                              "x\\.\\y.txt", "nul",           "aux.c",       "x\\ ..\\y",         "ok\\..\\in.txt",
                              "a:stream",    "\\\\srv\\s\\f", "deep\\er\\f", ".. \\x",            "x\\.. \\..\\y"};

std::string RandomArchive(std::mt19937& rng) {
  std::string archive;
  int entries = static_cast<int>(rng() % 5);
  for (int i = 0; i < entries; ++i) {
    std::string name = kNames[rng() % (sizeof kNames / sizeof kNames[0])];
    std::string content(rng() % 3000, static_cast<char>('a' + rng() % 26));
    std::string body;
    package::CompressBody(content.data(), content.size(), &body);
    uint32_t name_length = static_cast<uint32_t>(name.size() + 1);
    uint32_t body_length = static_cast<uint32_t>(body.size());
    switch (rng() % 8) {  // occasionally lie about a length
      case 0: name_length = rng() % 1000; break;
      case 1: body_length = static_cast<uint32_t>(rng()); break;
      default: break;
    }
    archive += U32(name_length) + name + std::string(1, '\0') + U32(body_length) + "\0\0" + body;
  }
  return archive;
}

void Mutate(std::mt19937& rng, std::string* data) {
  int edits = 1 + static_cast<int>(rng() % 4);
  for (int i = 0; i < edits && !data->empty(); ++i) {
    size_t at = rng() % data->size();
    switch (rng() % 5) {
      case 0: (*data)[at] = static_cast<char>(rng()); break;
      case 1: (*data)[at] ^= static_cast<char>(1 << (rng() % 8)); break;
      case 2: data->erase(at, 1 + rng() % 8); break;
      case 3: data->insert(at, std::string(1 + rng() % 8, static_cast<char>(rng()))); break;
      default: data->resize(at); break;
    }
  }
}

void CheckWalk(const std::string& archive) {
  MemoryTarget target;
  package::MemorySource source(archive);
  bool ok = package::UnpackEntries(source, kDestination, target);
  for (const std::string& directory : target.directories)
    ASSERT_TRUE(directory == kDestination || StaysBelow(kDestination, directory)) << directory;
  for (const auto& file : target.files) ASSERT_TRUE(StaysBelow(kDestination, file.first)) << file.first;
  if (ok) {
    EXPECT_EQ(target.error_lines, 0);
    EXPECT_LE(archive.size() - source.Position(), 3u) << "a complete walk reads to the end";
  } else {
    EXPECT_EQ(target.error_lines, 1) << "one error line per failed walk";
  }
}

TEST(UnpackFuzz, MutatedArchivesNeverLeaveTheDestination) {
  std::mt19937 rng(20240611);
  for (int i = 0; i < 4000; ++i) {
    std::string archive = RandomArchive(rng);
    if (rng() % 4 != 0) Mutate(rng, &archive);
    CheckWalk(archive);
    if (HasFatalFailure()) return;
  }
}

TEST(UnpackFuzz, RandomBytes) {
  std::mt19937 rng(7);
  for (int i = 0; i < 4000; ++i) {
    std::string bytes(rng() % 64, '\0');
    for (char& c : bytes) c = static_cast<char>(rng() % 4 == 0 ? rng() : rng() % 8);
    CheckWalk(bytes);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
