#include "support/pe_image.h"

#include <algorithm>
#include <cstring>

#include "base/le_bytes.h"
#include "base/text.h"
#include "pe/pe_headers.h"

namespace kssupport {
namespace {

const uint16_t kMachineX64 = 0x8664;
const size_t kSectionHeaderSize = 40;
const size_t kSymbolSize = 18;
const uint32_t kMaxSections = 96;  // the loader's own limit
const uint32_t kCodeSection = 0x00000020;     // IMAGE_SCN_CNT_CODE
const uint32_t kExecutableSection = 0x20000000;  // IMAGE_SCN_MEM_EXECUTE
const uint16_t kFunctionType = 0x20;          // DT_FCN in the derived-type bits
const uint8_t kExternalClass = 2;
const uint8_t kStaticClass = 3;
const size_t kLongestSymbolName = 4096;

uint64_t RoundUp(uint64_t value, uint32_t alignment) {
  if (alignment == 0) return value;
  return (value + alignment - 1) / alignment * alignment;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.compare(0, strlen(prefix), prefix) == 0; }

// The last of the entries (sorted by their start) that starts at or below
// `rva`, or null.
template <typename Entry>
const Entry* LastAtOrBelow(const std::vector<Entry>& entries, uint32_t rva, uint32_t Entry::*start) {
  auto after = std::upper_bound(entries.begin(), entries.end(), rva,
                                [start](uint32_t value, const Entry& entry) { return value < entry.*start; });
  return after == entries.begin() ? nullptr : &*(after - 1);
}

}  // namespace

bool PeImage::Parse(const unsigned char* data, size_t size, std::string& error) {
  *this = PeImage();
  ks::LeBytes file(data, size);
  data_ = file.data();
  size_ = file.size();
  PeHeaders headers;
  if (!ReadPeHeaders(file, headers, error)) return false;
  size_t header = headers.file_header;
  if (file.U16(header) != kMachineX64 || !headers.pe32_plus) {
    error = "not an x64 program (PE32+)";
    return false;
  }
  uint16_t sections = file.U16(header + 2);
  time_stamp_ = file.U32(header + 4);
  symbol_table_ = file.U32(header + 8);
  symbol_count_ = file.U32(header + 12);
  size_t optional = headers.optional;
  image_base_ = file.U64(optional + 24);
  uint32_t section_alignment = file.U32(optional + 32);
  size_of_image_ = file.U32(optional + 56);
  size_t table = optional + headers.optional_size;
  if (sections > kMaxSections || !file.Holds(table, static_cast<uint64_t>(sections) * kSectionHeaderSize)) {
    error = ks::Format("the %u section headers do not lie in the file", sections);
    return false;
  }

  ReadStringTable();
  for (uint16_t i = 0; i < sections; ++i) {
    size_t at = table + i * kSectionHeaderSize;
    Section section;
    section.name.assign(reinterpret_cast<const char*>(data_ + at), strnlen(reinterpret_cast<const char*>(data_ + at), 8));
    // A long name is "/<offset>" into the string table.
    if (section.name.size() > 1 && section.name[0] == '/')
      section.name = StringAt(static_cast<uint32_t>(ks::ParseInt(section.name.c_str() + 1)));
    section.virtual_size = file.U32(at + 8);
    section.virtual_address = file.U32(at + 12);
    section.raw_size = file.U32(at + 16);
    section.raw_offset = file.U32(at + 20);
    section.characteristics = file.U32(at + 36);
    if (!StartsWith(section.name, ".debug")) {
      uint32_t extent = section.virtual_size != 0 ? section.virtual_size : section.raw_size;
      uint64_t end = RoundUp(static_cast<uint64_t>(section.virtual_address) + extent, section_alignment);
      if (end > loaded_size_ && end <= 0xFFFFFFFFu) loaded_size_ = static_cast<uint32_t>(end);
    }
    sections_.push_back(section);
  }
  if (size_t exceptions = PeDirectoryEntry(headers, kExceptionDirectory))
    ReadFunctionTable(file.U32(exceptions), file.U32(exceptions + 4));
  ReadSymbols();
  return true;
}

bool PeImage::IsBuildOf(uint32_t time_stamp, uint32_t size) const {
  return time_stamp == time_stamp_ && size != 0 && (size == size_of_image_ || size == loaded_size_);
}

const unsigned char* PeImage::At(uint32_t rva, size_t length) const {
  for (const Section& section : sections_) {
    if (rva < section.virtual_address) continue;
    uint64_t into = rva - section.virtual_address;
    uint32_t bytes = section.virtual_size != 0 ? std::min(section.virtual_size, section.raw_size) : section.raw_size;
    if (into > bytes || length > bytes - into) continue;
    uint64_t offset = section.raw_offset + into;
    if (!ks::LeBytes(data_, size_).Holds(offset, length)) return nullptr;
    return data_ + offset;
  }
  return nullptr;
}

const RuntimeFunction* PeImage::FunctionAt(uint32_t rva) const {
  const RuntimeFunction* candidate = LastAtOrBelow(functions_, rva, &RuntimeFunction::begin);
  return candidate != nullptr && rva < candidate->end ? candidate : nullptr;
}

const CodeSymbol* PeImage::SymbolAt(uint32_t rva) const {
  const CodeSymbol* candidate = LastAtOrBelow(symbols_, rva, &CodeSymbol::rva);
  return candidate != nullptr && rva < candidate->section_end ? candidate : nullptr;
}

// The COFF string table follows the symbols: its size (counting itself),
// then zero-ended names.
void PeImage::ReadStringTable() {
  ks::LeBytes file(data_, size_);
  uint64_t at = symbol_table_ + static_cast<uint64_t>(symbol_count_) * kSymbolSize;
  uint32_t table_size = 0;
  if (symbol_table_ == 0 || !file.ReadU32(at, table_size) || table_size < 4 || !file.Holds(at, table_size)) return;
  string_table_ = static_cast<uint32_t>(at);
  string_table_size_ = table_size;
}

std::string PeImage::StringAt(uint32_t offset) const {
  if (string_table_ == 0 || offset < 4 || offset >= string_table_size_) return std::string();
  const char* start = reinterpret_cast<const char*>(data_ + string_table_ + offset);
  size_t room = std::min<size_t>(string_table_size_ - offset, kLongestSymbolName);
  return std::string(start, strnlen(start, room));
}

void PeImage::ReadFunctionTable(uint32_t rva, uint32_t size) {
  const unsigned char* table = At(rva, size);
  if (table == nullptr) return;
  ks::LeBytes entries(table, size);
  for (uint32_t at = 0; at + 12 <= size; at += 12) {
    RuntimeFunction function;
    function.begin = entries.U32(at);
    function.end = entries.U32(at + 4);
    function.unwind_info = entries.U32(at + 8);
    if (function.begin < function.end) functions_.push_back(function);
  }
  // The loader wants them sorted; a file that is not is sorted here so the
  // search stays a search.
  std::sort(functions_.begin(), functions_.end(),
            [](const RuntimeFunction& a, const RuntimeFunction& b) { return a.begin < b.begin; });
}

void PeImage::ReadSymbols() {
  ks::LeBytes file(data_, size_);
  if (symbol_table_ == 0 || !file.Holds(symbol_table_, static_cast<uint64_t>(symbol_count_) * kSymbolSize)) return;
  for (uint32_t i = 0; i < symbol_count_; ++i) {
    size_t at = symbol_table_ + static_cast<size_t>(i) * kSymbolSize;
    uint32_t value = file.U32(at + 8);
    int16_t section_number = static_cast<int16_t>(file.U16(at + 12));
    uint16_t type = file.U16(at + 14);
    uint8_t storage = file.U8(at + 16);
    uint8_t aux = file.U8(at + 17);
    bool function = (type & 0x30) == kFunctionType && (storage == kExternalClass || storage == kStaticClass);
    if (function && section_number >= 1 && static_cast<size_t>(section_number) <= sections_.size()) {
      const Section& section = sections_[static_cast<size_t>(section_number - 1)];
      uint64_t rva = static_cast<uint64_t>(section.virtual_address) + value;
      uint64_t end = static_cast<uint64_t>(section.virtual_address) + section.virtual_size;
      if ((section.characteristics & (kCodeSection | kExecutableSection)) != 0 && rva < end) {
        CodeSymbol symbol;
        symbol.rva = static_cast<uint32_t>(rva);
        symbol.section_end = static_cast<uint32_t>(end);
        if (file.U32(at) == 0)
          symbol.name = StringAt(file.U32(at + 4));
        else
          symbol.name.assign(reinterpret_cast<const char*>(data_ + at), strnlen(reinterpret_cast<const char*>(data_ + at), 8));
        if (!symbol.name.empty()) symbols_.push_back(symbol);
      }
    }
    i += aux;
  }
  std::stable_sort(symbols_.begin(), symbols_.end(), [](const CodeSymbol& a, const CodeSymbol& b) { return a.rva < b.rva; });
  // Of several names for one address the first stays.
  symbols_.erase(std::unique(symbols_.begin(), symbols_.end(),
                             [](const CodeSymbol& a, const CodeSymbol& b) { return a.rva == b.rva; }),
                 symbols_.end());
}

}  // namespace kssupport
