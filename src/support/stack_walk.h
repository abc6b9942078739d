#pragma once
// The crashing thread's stack of a minidump as a list of frames: walked from
// the registers at the crash with the unwind tables of the modules whose
// builds are given (their program files as built, matched to the dump's
// modules by time stamp and size), and named from those builds' symbol
// tables. Through a module without its build the walk goes on by the frame
// pointer, else by scanning the stack for a return address; such frames are
// marked as found so, for they may be wrong. Pure: the caller reads the
// files (kstool explain --symbols) and may add source lines.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/pe_image.h"

namespace kssupport {

enum class FrameFound {
  kContext,       // the crash site, from the registers at the crash
  kUnwindTable,   // by the module's unwind information (or its absence, for a leaf)
  kFramePointer,  // fallback: the saved frame pointer and return address above it
  kStackScan      // fallback: the nearest stack slot that points into a module
};

// "context", "unwind table", "frame pointer (fallback)", "stack scan (fallback)".
const char* FrameFoundName(FrameFound found);

struct StackFrame {
  uint64_t address = 0;      // the crash site, else a return address
  std::string module;        // the path the dump names; "" when no module holds the address
  uint64_t offset = 0;       // from the module's base; the address itself without a module
  int build = -1;            // index of the module's build among those given; -1 for none
  std::string function;      // from the build's symbol table, as it has it; "" without
  uint64_t function_offset = 0;
  std::string source;        // "file:line": left to the caller, which may know
  FrameFound found = FrameFound::kContext;
};

const size_t kMaxStackFrames = 64;

// False with a reason when the dump does not read or holds no x64 crash
// with a stack; otherwise at least the crash site's frame.
bool WalkCrashingStack(const unsigned char* dump, size_t size, const std::vector<const PeImage*>& builds,
                       std::vector<StackFrame>& frames, std::string& error);

// The address a frame's code is named by: a return address follows its
// call, which may be a function's last instruction.
inline uint64_t NamedAddress(const StackFrame& frame) {
  return frame.found == FrameFound::kContext || frame.address == 0 ? frame.address : frame.address - 1;
}

}  // namespace kssupport
