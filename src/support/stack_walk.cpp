#include "support/stack_walk.h"

#include "support/minidump_reader.h"
#include "support/minidump_stack.h"
#include "support/x64_unwind.h"

namespace kssupport {
namespace {

// How far above rsp a scan looks for a return address.
const uint64_t kScanBytes = 8 * 1024;

struct Module {
  const MinidumpModule* dump;
  const PeImage* build;
  int build_index;
};

const Module* ModuleAt(const std::vector<Module>& modules, uint64_t address) {
  for (const Module& module : modules)
    if (address >= module.dump->base && address - module.dump->base < module.dump->size) return &module;
  return nullptr;
}

// Whether the bytes before `address` are a call, so that it may be a return
// address: call rel32, or call through a register or memory (FF /2).
bool FollowsCall(const PeImage& image, uint64_t rva) {
  if (rva < 7 || rva > UINT32_MAX) return false;
  const unsigned char* before = image.At(static_cast<uint32_t>(rva - 7), 7);
  if (before == nullptr) return false;
  if (before[2] == 0xE8) return true;
  for (int length : {2, 3, 6, 7})
    if (before[7 - length] == 0xFF && (before[8 - length] & 0x38) == 0x10) return true;
  return false;
}

bool LooksLikeReturnAddress(const std::vector<Module>& modules, uint64_t value) {
  const Module* module = ModuleAt(modules, value);
  if (module == nullptr) return false;
  return module->build == nullptr || FollowsCall(*module->build, value - module->dump->base);
}

// Fallbacks through a module without a build: the frame pointer when it
// points into the stack above rsp at a saved one with a return address
// into a module, else the nearest slot above rsp that holds one.
bool UnwindWithoutTable(const std::vector<Module>& modules, const CrashingThread& thread, const DumpMemory& memory,
                        X64Registers& registers, FrameFound& found) {
  uint64_t rbp = registers.gpr[kRbp];
  uint64_t saved = 0, ret = 0;
  if (rbp >= registers.gpr[kRsp] && rbp % 8 == 0 && rbp + 16 <= thread.stack_high && memory.ReadU64(rbp, saved) &&
      memory.ReadU64(rbp + 8, ret) && LooksLikeReturnAddress(modules, ret)) {
    registers.gpr[kRbp] = saved;
    registers.gpr[kRsp] = rbp + 16;
    registers.rip = ret;
    found = FrameFound::kFramePointer;
    return true;
  }
  uint64_t start = registers.gpr[kRsp];
  for (uint64_t slot = start; slot + 8 <= thread.stack_high && slot - start < kScanBytes; slot += 8) {
    uint64_t value = 0;
    if (!memory.ReadU64(slot, value) || !LooksLikeReturnAddress(modules, value)) continue;
    registers.gpr[kRsp] = slot + 8;
    registers.rip = value;
    found = FrameFound::kStackScan;
    return true;
  }
  return false;
}

void Name(StackFrame& frame, const Module* module) {
  if (module == nullptr) {
    frame.offset = frame.address;
    return;
  }
  frame.module = module->dump->name;
  frame.offset = frame.address - module->dump->base;
  frame.build = module->build_index;
  uint64_t named = NamedAddress(frame) - module->dump->base;
  if (module->build == nullptr || named > UINT32_MAX) return;
  const CodeSymbol* symbol = module->build->SymbolAt(static_cast<uint32_t>(named));
  if (symbol == nullptr) return;
  frame.function = symbol->name;
  frame.function_offset = frame.offset - symbol->rva;
}

}  // namespace

const char* FrameFoundName(FrameFound found) {
  switch (found) {
    case FrameFound::kContext: return "context";
    case FrameFound::kUnwindTable: return "unwind table";
    case FrameFound::kFramePointer: return "frame pointer (fallback)";
    case FrameFound::kStackScan: return "stack scan (fallback)";
  }
  return "";
}

bool WalkCrashingStack(const unsigned char* dump, size_t size, const std::vector<const PeImage*>& builds,
                       std::vector<StackFrame>& frames, std::string& error) {
  frames.clear();
  MinidumpSummary summary;
  CrashingThread thread;
  DumpMemory memory;
  if (!ReadMinidump(dump, size, summary, error) || !ReadCrashingThread(dump, size, thread, memory, error))
    return false;
  std::vector<Module> modules;
  for (const MinidumpModule& module : summary.modules) {
    Module known = {&module, nullptr, -1};
    for (size_t i = 0; i < builds.size() && known.build == nullptr; ++i) {
      if (builds[i] != nullptr && builds[i]->IsBuildOf(module.time_stamp, module.size)) {
        known.build = builds[i];
        known.build_index = static_cast<int>(i);
      }
    }
    modules.push_back(known);
  }

  X64Registers registers = thread.registers;
  FrameFound found = FrameFound::kContext;
  while (frames.size() < kMaxStackFrames) {
    StackFrame frame;
    frame.address = registers.rip;
    frame.found = found;
    const Module* module = ModuleAt(modules, registers.rip);
    Name(frame, module);
    bool crash_site = frames.empty();
    frames.push_back(frame);

    uint64_t rsp = registers.gpr[kRsp];
    bool unwound;
    if (module != nullptr && module->build != nullptr) {
      const RuntimeFunction* function = nullptr;
      uint64_t rva = NamedAddress(frame) - module->dump->base;
      if (rva <= UINT32_MAX) function = module->build->FunctionAt(static_cast<uint32_t>(rva));
      unwound = function != nullptr
                    ? UnwindWithTable(*module->build, module->dump->base, *function, crash_site, memory, registers)
                    : UnwindLeaf(memory, registers);
      found = FrameFound::kUnwindTable;
    } else {
      unwound = UnwindWithoutTable(modules, thread, memory, registers, found);
    }
    // Each caller's frame lies above its callee's; a walk that does not
    // climb (or leaves the stack) has lost its way.
    if (!unwound || registers.rip == 0 || registers.gpr[kRsp] <= rsp || registers.gpr[kRsp] > thread.stack_high)
      break;
  }
  return true;
}

}  // namespace kssupport
