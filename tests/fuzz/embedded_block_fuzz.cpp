// The embedded-block search over a whole program file. The input is the
// file. Whatever it holds, the settings text stays inside its buffer (the
// starter's 4096 bytes, and a small one chosen by the input), and a block
// appended the way the stamping tool appends it is always the one read.
#include <cstring>
#include <memory>
#include <string>

#include "app/embedded_block.h"
#include "fuzz/fuzz_support.h"

namespace {

const size_t kStarterCapacity = 4096;

EmbeddedBlockResult Extract(const std::string& file, size_t capacity, std::string* text) {
  std::unique_ptr<char[]> settings(new char[capacity]);
  EmbeddedBlockResult result = ExtractEmbeddedSettings(reinterpret_cast<const unsigned char*>(file.data()),
                                                       file.size(), settings.get(), capacity);
  size_t length = strnlen(settings.get(), capacity);
  KS_FUZZ_CHECK(length < capacity);  // always zero-ended inside the buffer
  if (result != EmbeddedBlockResult::kFound) KS_FUZZ_CHECK(length == 0);
  if (text != nullptr) text->assign(settings.get(), length);
  if (result == EmbeddedBlockResult::kFound) IsValidEmbeddedSettings(settings.get());
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file(reinterpret_cast<const char*>(data), size);
  EmbeddedBlockResult full = Extract(file, kStarterCapacity, nullptr);
  size_t small_capacity = 1 + (size > 0 ? data[size - 1] % 64 : 0);
  EmbeddedBlockResult small = Extract(file, small_capacity, nullptr);
  KS_FUZZ_CHECK((full == EmbeddedBlockResult::kNoMarker) == (small == EmbeddedBlockResult::kNoMarker));
  if (full == EmbeddedBlockResult::kTooLarge) KS_FUZZ_CHECK(small == EmbeddedBlockResult::kTooLarge);

  // Stamping this file (again) with a settings text taken from it: the new
  // block wins over anything before it.
  std::string settings = file.c_str();
  if (settings.size() > 2000) settings.resize(2000);
  std::string stamped = file + BuildEmbeddedBlock(settings, 1 + size % 300);
  std::string read;
  KS_FUZZ_CHECK(Extract(stamped, kStarterCapacity, &read) == EmbeddedBlockResult::kFound);
  KS_FUZZ_CHECK(read == settings);
  return 0;
}
