#pragma once
// The crashing thread of a minidump as a stack walk needs it: its x64
// registers at the crash (the exception stream's context), the stack the
// dump holds for it, and the process memory the dump holds (its memory
// lists and every thread's stack). Read by the documented layouts; every
// location is checked against the dump before anything is read through it,
// and a read of the process's memory fails where the dump holds none.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kssupport {

// The general registers in the processor's numbering (rax, rcx, rdx, rbx,
// rsp, rbp, rsi, rdi, r8 to r15), and rip.
struct X64Registers {
  uint64_t gpr[16] = {};
  uint64_t rip = 0;
};
const int kRsp = 4;
const int kRbp = 5;

class DumpMemory {
 public:
  // `size` bytes of the process at `address`, held by the dump's bytes.
  // Every range is added before the first read, then Seal.
  void Add(uint64_t address, const unsigned char* bytes, size_t size);
  void Seal();
  // False unless one range the dump holds has all `length` bytes.
  bool Read(uint64_t address, void* out, size_t length) const;
  bool ReadU64(uint64_t address, uint64_t& value) const;

 private:
  struct Range {
    uint64_t address;
    const unsigned char* bytes;
    size_t size;
  };
  std::vector<Range> ranges_;  // sorted by address
};

struct CrashingThread {
  uint32_t thread_id = 0;
  X64Registers registers;
  // The thread's stack as the dump holds it: [stack_low, stack_high).
  uint64_t stack_low = 0;
  uint64_t stack_high = 0;
};

// False with a reason when the dump has no exception stream with an x64
// context, or a location it names lies outside it. The dump's bytes must
// outlive `memory`.
bool ReadCrashingThread(const unsigned char* data, size_t size, CrashingThread& thread, DumpMemory& memory,
                        std::string& error);

}  // namespace kssupport
