#include "crash/module_list_win.h"

#include <cstdint>

#include "base/handles_win.h"
#include "crash/module_list.h"

namespace {

const size_t kModulePathCapacity = 1038;
const uintptr_t kUnreadableStep = 64 * 1024;

// The handler runs once per process, possibly on a thread whose stack is all
// but used up: its larger buffers live here.
ReportTextBuffer g_oReportText(nullptr, nullptr);
wchar_t g_wsModulePath[kModulePathCapacity + 1];

bool WriteToFile(void* context, const char16_t* text, size_t count) {
  HANDLE file = static_cast<HANDLE>(context);
  const char* bytes = reinterpret_cast<const char*>(text);
  size_t left = count * sizeof(char16_t);
  while (left > 0) {
    DWORD piece = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(file, bytes, piece, &written, nullptr) || written == 0) return false;
    bytes += written;
    left -= written;
  }
  return true;
}

// How many bytes from `base` can be read without a fault: the rest of its
// region, when that is committed and readable.
size_t ReadableBytes(const void* base) {
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(base, &region, sizeof region) == 0) return 0;
  if (region.State != MEM_COMMIT || (region.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0) return 0;
  uintptr_t end = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
  uintptr_t start = reinterpret_cast<uintptr_t>(base);
  return end > start ? static_cast<size_t>(end - start) : 0;
}

void ReadModuleFile(const wchar_t* path, ModuleRecord* module, char* time_text, size_t time_capacity) {
  module->file_size = 0;
  time_text[0] = '\0';
  module->file_time = time_text;
  ks::UniqueHandle file(
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  LARGE_INTEGER size;
  if (GetFileSizeEx(file.get(), &size)) module->file_size = size.QuadPart;
  FILETIME last_write;
  if (GetFileTime(file.get(), nullptr, nullptr, &last_write))
    FormatModuleFileTime(last_write, time_text, time_capacity);
}

// Lists the image at `base` when it is one; a base that is no module, or whose
// headers cannot be read, is left out.
void ExamineBase(const void* base, int* number) {
  DWORD length = GetModuleFileNameW(static_cast<HMODULE>(const_cast<void*>(base)), g_wsModulePath,
                                    static_cast<DWORD>(kModulePathCapacity));
  if (length == 0 || length >= kModulePathCapacity) return;
  g_wsModulePath[length] = L'\0';
  ModuleRecord module;
  if (!ReadImageHeaders(static_cast<const unsigned char*>(base), ReadableBytes(base), &module.headers)) return;
  module.path = reinterpret_cast<const char16_t*>(g_wsModulePath);
  module.path_length = length;
  char time_text[64];
  ReadModuleFile(g_wsModulePath, &module, time_text, sizeof time_text);
  AppendModuleBlock(g_oReportText, ++*number, module);
}

}  // namespace

bool FormatModuleFileTime(const FILETIME& last_write, char* text, size_t capacity) {
  if (text == nullptr || capacity == 0) return false;
  text[0] = '\0';
  FILETIME local;
  WORD dos_date = 0;
  WORD dos_time = 0;
  if (!FileTimeToLocalFileTime(&last_write, &local) || !FileTimeToDosDateTime(&local, &dos_date, &dos_time))
    return false;
  return FormatDosDateTime(dos_date, dos_time, text, capacity);
}

bool WriteModuleList(HANDLE file, const char* file_name) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text is written as it is held");
  g_oReportText.SetWriter(&WriteToFile, file);

  SYSTEM_INFO system;
  GetSystemInfo(&system);
  // The whole user address space: a 64-bit process loads its images far
  // above the first 4 GiB.
  uintptr_t end = reinterpret_cast<uintptr_t>(system.lpMaximumApplicationAddress);
  uintptr_t address = 0;
  uintptr_t last_base = 0;
  int number = 0;
  while (address < end) {
    MEMORY_BASIC_INFORMATION region;
    uintptr_t next;
    if (VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof region) == 0 ||
        region.RegionSize == 0) {
      next = address + kUnreadableStep;
    } else {
      next = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
      uintptr_t base = reinterpret_cast<uintptr_t>(region.AllocationBase);
      if (region.State == MEM_COMMIT && base > last_base) {
        last_base = base;
        ExamineBase(region.AllocationBase, &number);
      }
    }
    if (next <= address) break;  // wrapped around the top of the address space
    address = next;
  }
  AppendEndLine(g_oReportText, file_name);
  return g_oReportText.Flush();
}
