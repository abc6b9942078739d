#pragma once
// Reads the parts of a minidump ("CRASH.DMP") that tell where a crash
// happened: the exception stream, the module list, the thread list and the
// system information. The structures are read by their documented layout
// (little-endian, packed); every offset and count is checked against the
// dump's size before anything is read through it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct MinidumpModule {
  uint64_t base = 0;
  uint32_t size = 0;
  uint32_t time_stamp = 0;  // of its program file's header: with the size, which build it is
  std::string name;  // the module's path, UTF-8
  bool has_version = false;
  uint16_t version[4] = {0, 0, 0, 0};  // file version, most significant part first
};

struct MinidumpSummary {
  bool has_exception = false;
  uint32_t exception_thread = 0;
  uint32_t exception_code = 0;
  uint64_t exception_address = 0;

  bool has_threads = false;
  uint32_t thread_count = 0;

  std::vector<MinidumpModule> modules;

  bool has_system_info = false;
  uint16_t processor_architecture = 0;
  uint8_t processor_count = 0;
  uint32_t os_major = 0, os_minor = 0, os_build = 0;
};

// False with a one-line reason when the bytes are not a minidump or a stream
// it names lies outside them.
bool ReadMinidump(const unsigned char* data, size_t size, MinidumpSummary& summary, std::string& error);

// The name of a well-known exception code ("EXCEPTION_ACCESS_VIOLATION"), or null.
const char* ExceptionName(uint32_t code);

// "x86", "x64", "ARM64" and so on, or null.
const char* ProcessorArchitectureName(uint16_t architecture);

// The module whose image holds the address, or null.
const MinidumpModule* ModuleHolding(const MinidumpSummary& summary, uint64_t address);
