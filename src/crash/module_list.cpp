#include "crash/module_list.h"

#include <cstdio>

namespace {

const uint16_t kOptionalMagic32 = 0x10b;
const uint16_t kOptionalMagic64 = 0x20b;
const size_t kFileHeaderSize = 20;
const size_t kOptionalHeaderNeeded = 68;  // through the checksum

uint16_t Read16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Read32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

bool ReadImageHeaders(const unsigned char* image, size_t available, ImageHeaderFields* fields) {
  if (image == nullptr || fields == nullptr || available < 0x40) return false;
  if (image[0] != 0x4D || image[1] != 0x5A) return false;
  uint32_t pe_offset = Read32(image + 0x3C);
  size_t needed = static_cast<size_t>(pe_offset) + 4 + kFileHeaderSize + kOptionalHeaderNeeded;
  if (pe_offset > available || needed > available) return false;
  const unsigned char* pe = image + pe_offset;
  if (pe[0] != 0x50 || pe[1] != 0x45 || pe[2] != 0 || pe[3] != 0) return false;
  const unsigned char* file_header = pe + 4;
  const unsigned char* optional = file_header + kFileHeaderSize;
  uint16_t magic = Read16(optional);
  if (magic == kOptionalMagic32) {
    fields->image_base = Read32(optional + 28);
  } else if (magic == kOptionalMagic64) {
    fields->image_base = static_cast<uint64_t>(Read32(optional + 24)) |
                         (static_cast<uint64_t>(Read32(optional + 28)) << 32);
  } else {
    return false;
  }
  fields->time_stamp = Read32(file_header + 4);
  fields->image_size = Read32(optional + 56);
  fields->checksum = Read32(optional + 64);
  return true;
}

bool FormatDosDateTime(uint16_t dos_date, uint16_t dos_time, char* text, size_t capacity) {
  if (text == nullptr || capacity == 0) return false;
  int year = 1980 + (dos_date >> 9);
  int month = (dos_date >> 5) & 0x0F;
  int day = dos_date & 0x1F;
  int hour = dos_time >> 11;
  int minute = (dos_time >> 5) & 0x3F;
  int second = (dos_time & 0x1F) * 2;
  int written = snprintf(text, capacity, "%d/%d/%d %02d:%02d:%02d", month, day, year, hour, minute, second);
  if (written < 0 || static_cast<size_t>(written) >= capacity) {
    text[0] = '\0';
    return false;
  }
  return true;
}

void AppendModuleBlock(ReportTextBuffer& buffer, int number, const ModuleRecord& module) {
  buffer.AppendFormat("Module %d\r\n", number);
  buffer.Append(module.path, module.path_length);
  buffer.AppendAscii("\r\n");
  // A 64-bit base prints with more digits rather than losing its top half.
  buffer.AppendFormat("Image Base: 0x%08llx  Image Size: 0x%08x\r\n",
                      static_cast<unsigned long long>(module.headers.image_base),
                      static_cast<unsigned>(module.headers.image_size));
  buffer.AppendFormat("Checksum:   0x%08x  Time Stamp: 0x%08x\r\n", static_cast<unsigned>(module.headers.checksum),
                      static_cast<unsigned>(module.headers.time_stamp));
  buffer.AppendFormat("File Size:  %-10lld  File Time:  %s\r\n", module.file_size,
                      module.file_time != nullptr ? module.file_time : "");
  buffer.AppendAscii("Version Information:\r\n");
}

void AppendEndLine(ReportTextBuffer& buffer, const char* file_name) {
  buffer.AppendFormat("\r\n===== [end of %s] =====\r\n", file_name != nullptr ? file_name : "");
}
