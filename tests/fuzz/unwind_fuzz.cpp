// The stack walk over a hostile minidump and a hostile build of its module.
// Input: a 32-bit little-endian length, that many bytes of dump, then the
// program file. Nothing is read outside either (ASan); a walk that reads
// gives at most its frame limit, each frame lies at or above the base of
// the module it names, only a matched build names a frame, and the program file's lookups answer
// with entries that hold what was asked.
#include <string>
#include <vector>

#include "support/pe_image.h"
#include "support/stack_walk.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  size_t dump_size = data[0] | data[1] << 8 | data[2] << 16 | static_cast<size_t>(data[3]) << 24;
  if (dump_size > size - 4) dump_size = size - 4;
  // Copies of exactly their sizes, so any read past either is caught.
  std::vector<unsigned char> dump(data + 4, data + 4 + dump_size);
  std::vector<unsigned char> program(data + 4 + dump_size, data + size);

  kssupport::PeImage image;
  std::string error;
  std::vector<const kssupport::PeImage*> builds;
  if (image.Parse(program.empty() ? nullptr : program.data(), program.size(), error)) {
    builds.push_back(&image);
    for (size_t i = 0; i + 4 <= dump.size() && i < 64; i += 4) {
      uint32_t rva = dump[i] | dump[i + 1] << 8 | dump[i + 2] << 16 | static_cast<uint32_t>(dump[i + 3]) << 24;
      const kssupport::RuntimeFunction* function = image.FunctionAt(rva);
      if (function != nullptr) KS_FUZZ_CHECK(function->begin <= rva && rva < function->end);
      const kssupport::CodeSymbol* symbol = image.SymbolAt(rva);
      if (symbol != nullptr) KS_FUZZ_CHECK(symbol->rva <= rva && rva < symbol->section_end && !symbol->name.empty());
    }
  } else {
    KS_FUZZ_CHECK(!error.empty());
  }

  std::vector<kssupport::StackFrame> frames;
  if (!kssupport::WalkCrashingStack(dump.empty() ? nullptr : dump.data(), dump.size(), builds, frames, error)) {
    KS_FUZZ_CHECK(!error.empty() && frames.empty());
    return 0;
  }
  KS_FUZZ_CHECK(!frames.empty() && frames.size() <= kssupport::kMaxStackFrames);
  KS_FUZZ_CHECK(frames[0].found == kssupport::FrameFound::kContext);
  for (const kssupport::StackFrame& frame : frames) {
    KS_FUZZ_CHECK(frame.build >= -1 && frame.build < static_cast<int>(builds.size()));
    KS_FUZZ_CHECK(frame.offset <= frame.address);
    if (frame.build < 0) KS_FUZZ_CHECK(frame.function.empty());
    if (!frame.function.empty()) KS_FUZZ_CHECK(frame.function_offset <= frame.offset);
  }
  return 0;
}
