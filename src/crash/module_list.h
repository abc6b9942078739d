#pragma once
// The module list of "ERRORLOG.TXT": what is read from a loaded image's
// headers and the six lines written for each module.
#include <cstddef>
#include <cstdint>

#include "crash/report_text_buffer.h"

struct ImageHeaderFields {
  uint64_t image_base = 0;  // preferred base from the optional header
  uint32_t image_size = 0;
  uint32_t checksum = 0;
  uint32_t time_stamp = 0;  // from the file header
};

// Reads the fields from the first `available` bytes of a mapped image: the
// bytes must start "MZ" and the header they point to "PE\0\0". False for
// anything else; nothing outside `available` is read.
bool ReadImageHeaders(const unsigned char* image, size_t available, ImageHeaderFields* fields);

struct ModuleRecord {
  const char16_t* path = nullptr;  // full path of the module file
  size_t path_length = 0;
  ImageHeaderFields headers;
  long long file_size = 0;       // 0 when the file could not be opened
  const char* file_time = "";    // "" when the file could not be opened
};

// "M/D/YYYY hh:mm:ss" from a file-system (DOS) date and time, whose seconds
// are kept in two-second steps. False when the text does not fit.
bool FormatDosDateTime(uint16_t dos_date, uint16_t dos_time, char* text, size_t capacity);

// The six lines of one module, numbered from 1.
void AppendModuleBlock(ReportTextBuffer& buffer, int number, const ModuleRecord& module);

// "\r\n===== [end of ERRORLOG.TXT] =====\r\n" for the given file name.
void AppendEndLine(ReportTextBuffer& buffer, const char* file_name);
