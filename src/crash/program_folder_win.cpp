#include "crash/program_folder_win.h"

#include <windows.h>

#include <cwchar>

bool ProgramFolder(wchar_t* folder, size_t capacity) {
  if (folder == nullptr || capacity == 0) return false;
  DWORD length = GetModuleFileNameW(nullptr, folder, static_cast<DWORD>(capacity));
  wchar_t* last = length != 0 && length < capacity ? wcsrchr(folder, L'\\') : nullptr;
  if (last == nullptr) {
    folder[0] = L'\0';
    return false;
  }
  last[1] = L'\0';
  return true;
}
