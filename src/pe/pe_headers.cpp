#include "pe/pe_headers.h"

namespace {

const uint16_t kPe32Magic = 0x10B;
const uint16_t kPe32PlusMagic = 0x20B;
const size_t kFileHeaderSize = 20;

bool Fail(std::string& error, const char* reason) {
  error = reason;
  return false;
}

}  // namespace

bool ReadPeHeaders(const ks::LeBytes& file, PeHeaders& headers, std::string& error) {
  headers = PeHeaders();
  if (!file.Holds(0, 0x40) || file.U16(0) != 0x5A4D) return Fail(error, "not a program file (no MZ header)");
  uint32_t pe = file.U32(0x3C);
  if (!file.Holds(pe, 4 + kFileHeaderSize) || file.U32(pe) != 0x00004550)
    return Fail(error, "not a PE file (no PE signature)");
  headers.file_header = static_cast<size_t>(pe) + 4;
  headers.optional = headers.file_header + kFileHeaderSize;
  headers.optional_size = file.U16(headers.file_header + 16);
  if (headers.optional_size < 2 || !file.Holds(headers.optional, headers.optional_size))
    return Fail(error, "optional header is cut off");
  uint16_t magic = file.U16(headers.optional);
  if (magic != kPe32Magic && magic != kPe32PlusMagic) return Fail(error, "unknown optional header kind");
  headers.pe32_plus = magic == kPe32PlusMagic;
  headers.directories = headers.optional + (headers.pe32_plus ? 112 : 96);
  // NumberOfRvaAndSizes, the optional header's last field before them.
  if (headers.directories > headers.optional + headers.optional_size) return Fail(error, "optional header is cut off");
  headers.directory_count = file.U32(headers.directories - 4);
  return true;
}

size_t PeDirectoryEntry(const PeHeaders& headers, uint32_t index) {
  size_t entry = headers.directories + 8 * static_cast<size_t>(index);
  if (index >= headers.directory_count || entry + 8 > headers.optional + headers.optional_size) return 0;
  return entry;
}
