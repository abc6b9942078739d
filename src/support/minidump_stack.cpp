#include "support/minidump_stack.h"

#include <algorithm>
#include <cstring>

#include "base/le_bytes.h"
#include "base/text.h"

namespace kssupport {
namespace {

const size_t kHeaderSize = 32;
const size_t kDirectoryEntrySize = 12;
const size_t kThreadSize = 48;
const size_t kMemoryDescriptorSize = 16;
const size_t kMemory64DescriptorSize = 16;
const size_t kExceptionStreamSize = 168;
const uint32_t kContextAmd64 = 0x00100000;
const size_t kContextRegisters = 0x78;  // rax, then the rest in order
const size_t kContextRip = 0xF8;

enum StreamType : uint32_t { kThreadList = 3, kMemoryList = 5, kException = 6, kMemory64List = 9 };

struct Stream {
  bool present = false;
  uint32_t size = 0;
  uint32_t rva = 0;
};

// A stream's location, the first of its type; false with a reason when it
// lies outside the dump.
bool FindStreams(const ks::LeBytes& dump, Stream (&streams)[10], std::string& error) {
  if (!dump.Holds(0, kHeaderSize) || dump.U32(0) != 0x504D444D) {
    error = "not a minidump: it does not begin with \"MDMP\"";
    return false;
  }
  uint32_t count = dump.U32(8);
  uint32_t directory = dump.U32(12);
  if (!dump.Holds(directory, static_cast<uint64_t>(count) * kDirectoryEntrySize)) {
    error = "the dump's stream directory lies outside it";
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    size_t entry = directory + static_cast<size_t>(i) * kDirectoryEntrySize;
    uint32_t type = dump.U32(entry);
    if (type >= 10 || streams[type].present) continue;
    Stream& stream = streams[type];
    stream.present = true;
    stream.size = dump.U32(entry + 4);
    stream.rva = dump.U32(entry + 8);
    if (!dump.Holds(stream.rva, stream.size)) {
      error = ks::Format("stream type %u lies outside the dump", type);
      return false;
    }
  }
  return true;
}

// MINIDUMP_MEMORY_DESCRIPTOR: the address, then the bytes' size and place.
bool AddDescribed(const ks::LeBytes& dump, size_t at, DumpMemory& memory, uint64_t* start, uint64_t* end) {
  uint64_t address = dump.U64(at);
  uint32_t size = dump.U32(at + 8);
  uint32_t rva = dump.U32(at + 12);
  if (!dump.Holds(rva, size) || address + size < address) return false;
  memory.Add(address, dump.data() + rva, size);
  if (start != nullptr) *start = address;
  if (end != nullptr) *end = address + size;
  return true;
}

bool ReadMemoryLists(const ks::LeBytes& dump, const Stream (&streams)[10], DumpMemory& memory, std::string& error) {
  const Stream& list = streams[kMemoryList];
  if (list.present) {
    uint32_t count = list.size >= 4 ? dump.U32(list.rva) : 0;
    if (static_cast<uint64_t>(count) * kMemoryDescriptorSize + 4 > list.size) {
      error = "the memory list names more ranges than its stream holds";
      return false;
    }
    for (uint32_t i = 0; i < count; ++i)
      if (!AddDescribed(dump, list.rva + 4 + static_cast<size_t>(i) * kMemoryDescriptorSize, memory, nullptr,
                        nullptr)) {
        error = ks::Format("memory range %u lies outside the dump", i + 1);
        return false;
      }
  }
  // The full-memory form: the ranges' bytes follow one another from one place.
  const Stream& list64 = streams[kMemory64List];
  if (list64.present) {
    if (list64.size < 16) {
      error = "the 64-bit memory list is too short";
      return false;
    }
    uint64_t count = dump.U64(list64.rva);
    uint64_t place = dump.U64(list64.rva + 8);
    if (count > (list64.size - 16) / kMemory64DescriptorSize) {
      error = "the 64-bit memory list names more ranges than its stream holds";
      return false;
    }
    for (uint64_t i = 0; i < count; ++i) {
      size_t at = list64.rva + 16 + static_cast<size_t>(i) * kMemory64DescriptorSize;
      uint64_t address = dump.U64(at);
      uint64_t size = dump.U64(at + 8);
      if (!dump.Holds(place, size) || address + size < address) {
        error = ks::Format("64-bit memory range %llu lies outside the dump", static_cast<unsigned long long>(i + 1));
        return false;
      }
      memory.Add(address, dump.data() + place, static_cast<size_t>(size));
      place += size;
    }
  }
  return true;
}

}  // namespace

void DumpMemory::Add(uint64_t address, const unsigned char* bytes, size_t size) {
  if (size == 0) return;
  Range range = {address, bytes, size};
  ranges_.push_back(range);
}

void DumpMemory::Seal() {
  std::stable_sort(ranges_.begin(), ranges_.end(), [](const Range& a, const Range& b) { return a.address < b.address; });
}

bool DumpMemory::Read(uint64_t address, void* out, size_t length) const {
  auto after = std::upper_bound(ranges_.begin(), ranges_.end(), address,
                                [](uint64_t value, const Range& r) { return value < r.address; });
  // Ranges may overlap (a stack is also in the memory list): any one that
  // holds the bytes will do, nearest first.
  for (auto it = after; it != ranges_.begin();) {
    --it;
    uint64_t into = address - it->address;
    if (into <= it->size && length <= it->size - into) {
      memcpy(out, it->bytes + into, length);
      return true;
    }
    if (after - it > 8) break;
  }
  return false;
}

bool DumpMemory::ReadU64(uint64_t address, uint64_t& value) const {
  unsigned char bytes[8];
  if (!Read(address, bytes, sizeof bytes)) return false;
  value = ks::LeBytes(bytes, sizeof bytes).U64(0);
  return true;
}

bool ReadCrashingThread(const unsigned char* data, size_t size, CrashingThread& thread, DumpMemory& memory,
                        std::string& error) {
  thread = CrashingThread();
  ks::LeBytes dump(data, size);
  Stream streams[10];
  if (!FindStreams(dump, streams, error)) return false;
  const Stream& exception = streams[kException];
  if (!exception.present || exception.size < kExceptionStreamSize) {
    error = "the dump has no exception stream";
    return false;
  }
  thread.thread_id = dump.U32(exception.rva);
  uint32_t context_size = dump.U32(exception.rva + 160);
  uint32_t context = dump.U32(exception.rva + 164);
  if (context_size < kContextRip + 8 || !dump.Holds(context, context_size)) {
    error = "the crash's processor context lies outside the dump";
    return false;
  }
  if ((dump.U32(context + 0x30) & kContextAmd64) == 0) {
    error = "the crash's processor context is not an x64 one";
    return false;
  }
  for (int i = 0; i < 16; ++i) thread.registers.gpr[i] = dump.U64(context + kContextRegisters + 8 * i);
  thread.registers.rip = dump.U64(context + kContextRip);

  if (!ReadMemoryLists(dump, streams, memory, error)) return false;
  const Stream& threads = streams[kThreadList];
  uint32_t count = threads.present && threads.size >= 4 ? dump.U32(threads.rva) : 0;
  if (static_cast<uint64_t>(count) * kThreadSize + 4 > threads.size && threads.present) {
    error = "the thread list names more threads than its stream holds";
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    size_t entry = threads.rva + 4 + static_cast<size_t>(i) * kThreadSize;
    uint64_t low = 0, high = 0;
    if (!AddDescribed(dump, entry + 24, memory, &low, &high)) {
      error = ks::Format("the stack of thread %u lies outside the dump", dump.U32(entry));
      return false;
    }
    if (dump.U32(entry) == thread.thread_id) {
      thread.stack_low = low;
      thread.stack_high = high;
    }
  }
  memory.Seal();
  if (thread.stack_high == 0) {
    error = ks::Format("the dump holds no stack for the crashed thread %u", thread.thread_id);
    return false;
  }
  return true;
}

}  // namespace kssupport
