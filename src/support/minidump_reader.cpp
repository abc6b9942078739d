#include "support/minidump_reader.h"

#include <map>

#include "base/le_bytes.h"
#include "base/text.h"

namespace {

const uint32_t kSignature = 0x504D444D;  // "MDMP"
const size_t kHeaderSize = 32;
const size_t kDirectoryEntrySize = 12;
const size_t kThreadSize = 48;
const size_t kModuleSize = 108;
const size_t kExceptionStreamSize = 168;
const size_t kSystemInfoSize = 32;  // the part read here
const uint32_t kLongestName = 32768;  // bytes of a module's UTF-16 name
// A process has some hundreds of modules; their names, in a few hundred
// bytes each, stay far below this. A dump whose module list says more is
// crafted, and reading it would cost whatever it asks for.
const uint32_t kMostModules = 16384;
const size_t kAllNames = 4u << 20;  // bytes of the names decoded and kept

enum StreamType : uint32_t { kThreadList = 3, kModuleList = 4, kException = 6, kSystemInfo = 7 };

using ks::LeBytes;

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// A MINIDUMP_STRING: a 32-bit byte count, then that many bytes of UTF-16.
bool ReadName(const LeBytes& dump, uint32_t rva, std::string& name) {
  if (!dump.Holds(rva, 4)) return false;
  uint32_t length = dump.U32(rva);
  if (length % 2 != 0 || length > kLongestName || !dump.Holds(static_cast<uint64_t>(rva) + 4, length)) return false;
  name.clear();
  for (uint32_t i = 0; i < length; i += 2) {
    uint32_t c = dump.U16(rva + 4 + i);
    if (c >= 0xD800 && c < 0xDC00 && i + 2 < length) {
      uint32_t low = dump.U16(rva + 6 + i);
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;  // a lone surrogate
    AppendUtf8(name, c);
  }
  return true;
}

bool ReadModules(const LeBytes& dump, size_t at, uint32_t stream_size, MinidumpSummary& summary, std::string& error) {
  uint32_t count = dump.U32(at);
  if ((static_cast<uint64_t>(count) * kModuleSize + 4) > stream_size) {
    error = ks::Format("the module list names %u modules, more than its stream holds", count);
    return false;
  }
  if (count > kMostModules) {
    error = ks::Format("the module list names %u modules, more than the %u read", count, kMostModules);
    return false;
  }
  // Each name is decoded once, however many modules name it.
  std::map<uint32_t, std::string> names;
  size_t kept = 0;
  for (uint32_t i = 0; i < count; ++i) {
    size_t entry = at + 4 + static_cast<size_t>(i) * kModuleSize;
    MinidumpModule module;
    module.base = dump.U64(entry);
    module.size = dump.U32(entry + 8);
    module.time_stamp = dump.U32(entry + 16);
    uint32_t rva = dump.U32(entry + 20);
    auto name = names.find(rva);
    if (name == names.end()) {
      std::string decoded;
      if (!ReadName(dump, rva, decoded)) {
        error = ks::Format("the name of module %u lies outside the dump", i + 1);
        return false;
      }
      kept += decoded.size();
      name = names.emplace(rva, std::move(decoded)).first;
    }
    kept += name->second.size();
    if (kept > kAllNames) {
      error = ks::Format("the module names take more than the %llu bytes read",
                         static_cast<unsigned long long>(kAllNames));
      return false;
    }
    module.name = name->second;
    // VS_FIXEDFILEINFO: its signature, then the structure version and the
    // file version as two 32-bit halves.
    size_t info = entry + 24;
    if (dump.U32(info) == 0xFEEF04BD) {
      uint32_t high = dump.U32(info + 8);
      uint32_t low = dump.U32(info + 12);
      module.has_version = true;
      module.version[0] = static_cast<uint16_t>(high >> 16);
      module.version[1] = static_cast<uint16_t>(high);
      module.version[2] = static_cast<uint16_t>(low >> 16);
      module.version[3] = static_cast<uint16_t>(low);
    }
    summary.modules.push_back(module);
  }
  return true;
}

}  // namespace

bool ReadMinidump(const unsigned char* data, size_t size, MinidumpSummary& summary, std::string& error) {
  summary = MinidumpSummary();
  LeBytes dump(data, size);
  if (!dump.Holds(0, kHeaderSize) || dump.U32(0) != kSignature) {
    error = "not a minidump: it does not begin with \"MDMP\"";
    return false;
  }
  uint32_t streams = dump.U32(8);
  uint32_t directory = dump.U32(12);
  if (!dump.Holds(directory, static_cast<uint64_t>(streams) * kDirectoryEntrySize)) {
    error = ks::Format("the dump's stream directory (%u streams at %u) lies outside its %llu bytes", streams, directory,
                       static_cast<unsigned long long>(dump.size()));
    return false;
  }
  bool seen_threads = false, seen_modules = false, seen_exception = false, seen_system = false;
  for (uint32_t i = 0; i < streams; ++i) {
    size_t entry = directory + static_cast<size_t>(i) * kDirectoryEntrySize;
    uint32_t type = dump.U32(entry);
    uint32_t stream_size = dump.U32(entry + 4);
    uint32_t rva = dump.U32(entry + 8);
    if (type != kThreadList && type != kModuleList && type != kException && type != kSystemInfo) continue;
    // Each kind is read once: a directory that names it again adds nothing.
    bool& seen = type == kThreadList ? seen_threads : type == kModuleList ? seen_modules
                 : type == kException ? seen_exception : seen_system;
    if (seen) continue;
    seen = true;
    if (!dump.Holds(rva, stream_size)) {
      error = ks::Format("stream %u (type %u, %u bytes at %u) lies outside the dump's %llu bytes", i + 1, type,
                         stream_size, rva, static_cast<unsigned long long>(dump.size()));
      return false;
    }
    size_t needed = type == kException ? kExceptionStreamSize : type == kSystemInfo ? kSystemInfoSize : 4;
    if (stream_size < needed) {
      error = ks::Format("stream %u (type %u) is %u bytes, too short", i + 1, type, stream_size);
      return false;
    }
    if (type == kThreadList) {
      summary.has_threads = true;
      summary.thread_count = dump.U32(rva);
      if (static_cast<uint64_t>(summary.thread_count) * kThreadSize + 4 > stream_size) {
        error = ks::Format("the thread list names %u threads, more than its stream holds", summary.thread_count);
        return false;
      }
    } else if (type == kModuleList) {
      if (!ReadModules(dump, rva, stream_size, summary, error)) return false;
    } else if (type == kException) {
      // MINIDUMP_EXCEPTION_STREAM: thread id, alignment, then the record:
      // code, flags, nested record, address.
      summary.has_exception = true;
      summary.exception_thread = dump.U32(rva);
      summary.exception_code = dump.U32(rva + 8);
      summary.exception_address = dump.U64(rva + 24);
    } else {
      summary.has_system_info = true;
      summary.processor_architecture = dump.U16(rva);
      summary.processor_count = dump.U8(rva + 6);
      summary.os_major = dump.U32(rva + 8);
      summary.os_minor = dump.U32(rva + 12);
      summary.os_build = dump.U32(rva + 16);
    }
  }
  return true;
}

const char* ExceptionName(uint32_t code) {
  switch (code) {
    case 0x80000002: return "EXCEPTION_DATATYPE_MISALIGNMENT";
    case 0x80000003: return "EXCEPTION_BREAKPOINT";
    case 0x80000004: return "EXCEPTION_SINGLE_STEP";
    case 0xC0000005: return "EXCEPTION_ACCESS_VIOLATION";
    case 0xC0000006: return "EXCEPTION_IN_PAGE_ERROR";
    case 0xC0000008: return "EXCEPTION_INVALID_HANDLE";
    case 0xC000001D: return "EXCEPTION_ILLEGAL_INSTRUCTION";
    case 0xC0000025: return "EXCEPTION_NONCONTINUABLE_EXCEPTION";
    case 0xC0000026: return "EXCEPTION_INVALID_DISPOSITION";
    case 0xC000008C: return "EXCEPTION_ARRAY_BOUNDS_EXCEEDED";
    case 0xC000008D: return "EXCEPTION_FLT_DENORMAL_OPERAND";
    case 0xC000008E: return "EXCEPTION_FLT_DIVIDE_BY_ZERO";
    case 0xC0000090: return "EXCEPTION_FLT_INVALID_OPERATION";
    case 0xC0000094: return "EXCEPTION_INT_DIVIDE_BY_ZERO";
    case 0xC0000095: return "EXCEPTION_INT_OVERFLOW";
    case 0xC0000096: return "EXCEPTION_PRIV_INSTRUCTION";
    case 0xC00000FD: return "EXCEPTION_STACK_OVERFLOW";
    case 0xC0000374: return "STATUS_HEAP_CORRUPTION";
    case 0xC0000409: return "STATUS_STACK_BUFFER_OVERRUN";
    case 0xE06D7363: return "C++ exception";
    default: return nullptr;
  }
}

const char* ProcessorArchitectureName(uint16_t architecture) {
  switch (architecture) {
    case 0: return "x86";
    case 5: return "ARM";
    case 6: return "IA64";
    case 9: return "x64";
    case 12: return "ARM64";
    default: return nullptr;
  }
}

const MinidumpModule* ModuleHolding(const MinidumpSummary& summary, uint64_t address) {
  for (const MinidumpModule& module : summary.modules)
    if (address >= module.base && address - module.base < module.size) return &module;
  return nullptr;
}
