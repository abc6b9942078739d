#include "app/library_search_win.h"

#include <windows.h>

namespace {

bool g_restricted = false;

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD);

}  // namespace

bool RestrictLibrarySearch() {
  // An unpatched older Windows lacks it, so it is looked up, not imported.
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  SetDefaultDllDirectoriesFunction set_default = nullptr;
  if (kernel != nullptr)
    set_default = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  g_restricted = set_default != nullptr && set_default(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
  SetDllDirectoryW(L"");
  return g_restricted;
}

bool LibrarySearchRestricted() { return g_restricted; }
