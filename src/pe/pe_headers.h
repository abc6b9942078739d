#pragma once
// Where a program file's headers lie: the "MZ" header's pointer to the "PE"
// signature, the COFF file header behind it, and the optional header (PE32
// or PE32+) with its data directories, each checked to lie in the file.
// Stamping and the own-signature check read the certificate table through
// them, the support desk a build's sections, function table and symbols.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/le_bytes.h"

struct PeHeaders {
  size_t file_header = 0;  // the COFF file header: machine, section count, time stamp, ...
  size_t optional = 0;     // the optional header
  uint16_t optional_size = 0;
  bool pe32_plus = false;         // a 64-bit program's optional header
  size_t directories = 0;         // the first data directory entry
  uint32_t directory_count = 0;   // as the header says; PeDirectoryEntry checks each against it
};

// Data directory entries read here.
const uint32_t kExceptionDirectory = 3;
const uint32_t kSecurityDirectory = 4;

// False with a reason when the file has no such headers.
bool ReadPeHeaders(const ks::LeBytes& file, PeHeaders& headers, std::string& error);

// The offset of data directory entry `index` (its address, then its size),
// or 0 when the optional header holds no such entry.
size_t PeDirectoryEntry(const PeHeaders& headers, uint32_t index);
