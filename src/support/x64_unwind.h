#pragma once
// One frame up an x64 stack by the unwind information a function's entry in
// the program's function table points to, as the system's own unwinder
// does: the prolog's pushes, allocations, frame register and saves are
// undone in reverse (only those already run, for a crash inside the prolog),
// a crash inside an epilog runs the rest of the epilog instead, and chained
// entries are followed. Every byte of the program file and of the stack is
// read through bounds-checked accessors.
#include <cstdint>

#include "support/minidump_stack.h"
#include "support/pe_image.h"

namespace kssupport {

// On true, `registers` are the caller's, rip its return address. False when
// the unwind information does not read or the stack does not hold what it
// names. `crash_site` for the frame that crashed, whose rip may lie in a
// prolog or an epilog; every other frame's rip is a return address.
bool UnwindWithTable(const PeImage& image, uint64_t base, const RuntimeFunction& function, bool crash_site,
                     const DumpMemory& memory, X64Registers& registers);

// A function without an entry changes neither the stack nor a register it
// must keep: its return address is where rsp points.
bool UnwindLeaf(const DumpMemory& memory, X64Registers& registers);

}  // namespace kssupport
