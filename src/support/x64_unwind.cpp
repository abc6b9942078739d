#include "support/x64_unwind.h"

#include "base/le_bytes.h"

namespace kssupport {
namespace {

enum UnwindOp {
  kPushNonvolatile = 0,
  kAllocLarge = 1,
  kAllocSmall = 2,
  kSetFrameRegister = 3,
  kSaveNonvolatile = 4,
  kSaveNonvolatileFar = 5,
  kEpilog = 6,
  kSaveXmm128 = 8,
  kSaveXmm128Far = 9,
  kPushMachineFrame = 10
};
const uint8_t kChainedInfo = 0x4;
const int kMaxChain = 32;
const size_t kEpilogBytes = 32;

// Slots (of two bytes) an unwind code takes, itself included.
int CodeSlots(uint8_t op, uint8_t info) {
  switch (op) {
    case kAllocLarge: return info == 0 ? 2 : 3;
    case kSaveNonvolatile:
    case kSaveXmm128:
    case kEpilog: return 2;
    case kSaveNonvolatileFar:
    case kSaveXmm128Far: return 3;
    default: return 1;
  }
}

bool Pop(const DumpMemory& memory, X64Registers& registers, uint64_t& value) {
  if (!memory.ReadU64(registers.gpr[kRsp], value)) return false;
  registers.gpr[kRsp] += 8;
  return true;
}

// The rest of an epilog, when `code` (the bytes at rip) is one: an optional
// "add rsp, n" or "lea rsp, [reg+n]", pops, then a return or a jump out of
// the function. Run on a copy; `registers` change only when it was one.
bool RunEpilog(const unsigned char* code, size_t length, uint64_t rip, uint64_t function_begin, uint64_t function_end,
               const DumpMemory& memory, X64Registers& registers) {
  X64Registers after = registers;
  size_t at = 0;
  ks::LeBytes bytes(code, length);
  if (length >= 4 && (code[0] & 0xF8) == 0x48) {
    if (code[1] == 0x81 && code[0] == 0x48 && code[2] == 0xC4 && length >= 7) {
      after.gpr[kRsp] += static_cast<int32_t>(bytes.U32(3));
      at = 7;
    } else if (code[1] == 0x83 && code[0] == 0x48 && code[2] == 0xC4) {
      after.gpr[kRsp] += static_cast<int8_t>(code[3]);
      at = 4;
    } else if (code[1] == 0x8D && (code[0] & 0x06) == 0 && ((code[2] >> 3) & 7) == kRsp && (code[2] & 7) != 4) {
      int base = (code[2] & 7) + ((code[0] & 1) << 3);
      if ((code[2] >> 6) == 1) {
        after.gpr[kRsp] = registers.gpr[base] + static_cast<int8_t>(code[3]);
        at = 4;
      } else if ((code[2] >> 6) == 2 && length >= 7) {
        after.gpr[kRsp] = registers.gpr[base] + static_cast<int32_t>(bytes.U32(3));
        at = 7;
      } else {
        return false;
      }
    }
  }
  for (;;) {
    if (at >= length) return false;
    int high = 0;
    if ((code[at] & 0xF0) == 0x40) {  // a REX prefix: r8 to r15
      high = (code[at] & 1) << 3;
      if (++at >= length) return false;
    }
    uint8_t op = code[at];
    if (op >= 0x58 && op <= 0x5F) {
      uint64_t value = 0;
      if (!Pop(memory, after, value)) return false;
      after.gpr[(op - 0x58) + high] = value;
      ++at;
      continue;
    }
    bool leaves = op == 0xC3 || op == 0xC2 || (op == 0xF3 && at + 1 < length && code[at + 1] == 0xC3);
    if (op == 0xE9 && at + 5 <= length) {
      uint64_t target = rip + at + 5 + static_cast<int32_t>(bytes.U32(at + 1));
      leaves = target < function_begin || target >= function_end;
    } else if (op == 0xEB && at + 2 <= length) {
      uint64_t target = rip + at + 2 + static_cast<int8_t>(code[at + 1]);
      leaves = target < function_begin || target >= function_end;
    }
    if (!leaves || !Pop(memory, after, after.rip)) return false;
    registers = after;
    return true;
  }
}

// Undoes one function's unwind codes. `prolog_offset` is how far into the
// function rip lies (codes the prolog has not run yet are skipped); past the
// prolog every code applies. A machine frame sets rip itself.
bool UndoCodes(const PeImage& image, uint32_t unwind_info, uint64_t prolog_offset, const DumpMemory& memory,
               X64Registers& registers, bool& machine_frame, int depth) {
  const unsigned char* head = image.At(unwind_info, 4);
  if (head == nullptr || depth > kMaxChain) return false;
  uint8_t version = head[0] & 7;
  uint8_t flags = head[0] >> 3;
  uint8_t prolog_size = head[1];
  uint8_t count = head[2];
  int frame_register = head[3] & 0xF;
  uint64_t frame_offset = static_cast<uint64_t>(head[3] >> 4) * 16;
  if (version != 1 && version != 2) return false;
  size_t table = ((count + 1u) & ~1u) * 2;
  const unsigned char* codes = image.At(unwind_info + 4, table + ((flags & kChainedInfo) ? 12 : 0));
  if (codes == nullptr) return false;
  ks::LeBytes slots(codes, table);
  bool in_prolog = prolog_offset < prolog_size;

  // The frame the saves are relative to: the frame register's value less
  // its offset once the prolog has set it, else rsp.
  uint64_t frame = registers.gpr[kRsp];
  if (frame_register != 0) {
    for (int i = 0; i < count; i += CodeSlots(codes[2 * i + 1] & 0xF, codes[2 * i + 1] >> 4)) {
      if ((codes[2 * i + 1] & 0xF) == kSetFrameRegister && (!in_prolog || codes[2 * i] <= prolog_offset)) {
        frame = registers.gpr[frame_register] - frame_offset;
        break;
      }
    }
  }

  for (int i = 0; i < count;) {
    uint8_t code_offset = codes[2 * i];
    uint8_t op = codes[2 * i + 1] & 0xF;
    uint8_t info = codes[2 * i + 1] >> 4;
    int size = CodeSlots(op, info);
    if (i + size > count) return false;
    if (in_prolog && code_offset > prolog_offset) {
      i += size;
      continue;
    }
    uint64_t value = 0;
    switch (op) {
      case kPushNonvolatile:
        if (!Pop(memory, registers, value)) return false;
        registers.gpr[info] = value;
        break;
      case kAllocLarge:
        registers.gpr[kRsp] += info == 0 ? static_cast<uint64_t>(slots.U16(2 * i + 2)) * 8 : slots.U32(2 * i + 2);
        break;
      case kAllocSmall:
        registers.gpr[kRsp] += static_cast<uint64_t>(info) * 8 + 8;
        break;
      case kSetFrameRegister:
        registers.gpr[kRsp] = frame;
        break;
      case kSaveNonvolatile:
      case kSaveNonvolatileFar: {
        uint64_t offset = op == kSaveNonvolatile ? static_cast<uint64_t>(slots.U16(2 * i + 2)) * 8 : slots.U32(2 * i + 2);
        if (!memory.ReadU64(frame + offset, value)) return false;
        registers.gpr[info] = value;
        break;
      }
      case kPushMachineFrame: {
        // rip, cs, eflags, rsp, ss as the processor pushed them, after an
        // error code when info is 1.
        uint64_t at = registers.gpr[kRsp] + (info != 0 ? 8 : 0);
        uint64_t rsp = 0;
        if (!memory.ReadU64(at, registers.rip) || !memory.ReadU64(at + 24, rsp)) return false;
        registers.gpr[kRsp] = rsp;
        machine_frame = true;
        break;
      }
      default:  // epilog descriptions and xmm saves: nothing to undo here
        break;
    }
    i += size;
  }
  if ((flags & kChainedInfo) == 0) return true;
  // The entry of the function this part belongs to, whose prolog has run.
  ks::LeBytes chained(codes + table, 12);
  return UndoCodes(image, chained.U32(8), UINT64_MAX, memory, registers, machine_frame, depth + 1);
}

}  // namespace

bool UnwindWithTable(const PeImage& image, uint64_t base, const RuntimeFunction& function, bool crash_site,
                     const DumpMemory& memory, X64Registers& registers) {
  uint64_t begin = base + function.begin;
  uint64_t end = base + function.end;
  if (crash_site && registers.rip >= begin && registers.rip < end) {
    uint64_t rva = registers.rip - base;
    size_t left = static_cast<size_t>(end - registers.rip);
    size_t length = left < kEpilogBytes ? left : kEpilogBytes;
    const unsigned char* code = rva <= UINT32_MAX ? image.At(static_cast<uint32_t>(rva), length) : nullptr;
    if (code != nullptr && RunEpilog(code, length, registers.rip, begin, end, memory, registers)) return true;
  }
  X64Registers caller = registers;
  bool machine_frame = false;
  uint64_t prolog_offset = registers.rip >= begin ? registers.rip - begin : UINT64_MAX;
  if (!UndoCodes(image, function.unwind_info, prolog_offset, memory, caller, machine_frame, 0)) return false;
  if (!machine_frame && !Pop(memory, caller, caller.rip)) return false;
  registers = caller;
  return true;
}

bool UnwindLeaf(const DumpMemory& memory, X64Registers& registers) {
  X64Registers caller = registers;
  if (!Pop(memory, caller, caller.rip)) return false;
  registers = caller;
  return true;
}

}  // namespace kssupport
