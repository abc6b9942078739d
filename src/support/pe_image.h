#pragma once
// What walking and naming a stack needs from an x64 program file (PE32+):
// which build it is (the time stamp and image size a minidump's module list
// records), its sections, its function table (.pdata, each entry pointing
// to its unwind information in .xdata) and the function names of its COFF
// symbol table (present in an unstripped build). Every offset the file
// gives is checked against it before it is followed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kssupport {

// An entry of the function table, as image offsets (RVAs).
struct RuntimeFunction {
  uint32_t begin = 0;
  uint32_t end = 0;  // one past the function's last byte
  uint32_t unwind_info = 0;
};

struct CodeSymbol {
  uint32_t rva = 0;
  uint32_t section_end = 0;  // the symbol names nothing at or past this
  std::string name;          // as the symbol table has it (a C++ name mangled)
};

class PeImage {
 public:
  // False with a reason when the bytes are not an x64 PE32+ file or its
  // headers do not lie in it. The bytes must outlive the image.
  bool Parse(const unsigned char* data, size_t size, std::string& error);

  uint32_t time_stamp() const { return time_stamp_; }
  uint64_t image_base() const { return image_base_; }
  uint32_t size_of_image() const { return size_of_image_; }

  // Whether a module of `size` bytes in memory, linked at `time_stamp`, is
  // this build: the time stamp agrees, and the size with or without the
  // debugging sections (a stripped copy has none; `strip -p` keeps the
  // time stamp).
  bool IsBuildOf(uint32_t time_stamp, uint32_t size) const;

  // `length` bytes at `rva` as the file holds them; null unless they lie
  // wholly in one section's bytes in the file.
  const unsigned char* At(uint32_t rva, size_t length) const;

  // The function table's entry covering `rva`; null for none (a leaf
  // function, which touches neither the stack nor a saved register, has
  // none).
  const RuntimeFunction* FunctionAt(uint32_t rva) const;

  // The function symbol at or nearest below `rva` within its section; null
  // without one (a stripped build has no symbols).
  const CodeSymbol* SymbolAt(uint32_t rva) const;
  bool has_symbols() const { return !symbols_.empty(); }

 private:
  struct Section {
    std::string name;
    uint32_t virtual_address = 0;
    uint32_t virtual_size = 0;
    uint32_t raw_offset = 0;
    uint32_t raw_size = 0;
    uint32_t characteristics = 0;
  };
  void ReadStringTable();
  std::string StringAt(uint32_t offset) const;
  void ReadFunctionTable(uint32_t rva, uint32_t size);
  void ReadSymbols();

  const unsigned char* data_ = nullptr;
  size_t size_ = 0;
  uint32_t time_stamp_ = 0;
  uint64_t image_base_ = 0;
  uint32_t size_of_image_ = 0;
  uint32_t loaded_size_ = 0;  // without the debugging sections
  uint32_t symbol_table_ = 0;
  uint32_t symbol_count_ = 0;
  uint32_t string_table_ = 0;
  uint32_t string_table_size_ = 0;
  std::vector<Section> sections_;
  std::vector<RuntimeFunction> functions_;  // sorted by begin
  std::vector<CodeSymbol> symbols_;         // sorted by rva
};

}  // namespace kssupport
