#include "base/system_library_win.h"

#include <cwchar>

#include "base/log_api.h"
#include "base/wide_text.h"

namespace ks {
namespace {

const char kOperation[] = "SystemLibrary::Load";

// The search flags of LoadLibraryEx came with AddDllDirectory; an unpatched
// older Windows has neither.
bool SearchFlagsAvailable() {
  static const bool available = [] {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel != nullptr && GetProcAddress(kernel, "AddDllDirectory") != nullptr;
  }();
  return available;
}

// A name that reaches into another folder is no system library.
bool IsBareName(const wchar_t* name) {
  if (name != nullptr && name[0] != L'\0' && wcspbrk(name, L"\\/:") == nullptr) return true;
  SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

// A library that comes in versions side by side (the common controls): the
// version the program's manifest names, else the system folder's.
HMODULE LoadSideBySideLibrary(const wchar_t* name) {
  if (!IsBareName(name)) return nullptr;
  // Only a bare name is redirected to the version the manifest names; the
  // search flags keep every folder but the system folder out of the rest.
  return LoadLibraryExW(name, nullptr, SearchFlagsAvailable() ? LOAD_LIBRARY_SEARCH_SYSTEM32 : 0);
}

}  // namespace

HMODULE LoadSystemLibrary(const wchar_t* name) {
  if (!IsBareName(name)) return nullptr;
  wchar_t path[MAX_PATH + 1];
  UINT length = GetSystemDirectoryW(path, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return nullptr;
  int written = swprintf(path + length, MAX_PATH + 1 - length, L"\\%ls", name);
  if (written < 0 || static_cast<size_t>(written) >= MAX_PATH + 1 - length) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  // The libraries it needs in turn are looked for in the system folder alone.
  // Without the search flags the altered order is the nearest: it starts at
  // the library's own folder, the system folder, but then goes on to the
  // current folder and the PATH.
  return LoadLibraryExW(path, nullptr,
                        SearchFlagsAvailable() ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE SystemLibrary::Module() const {
  HMODULE module = module_.load(std::memory_order_acquire);
  if (module != nullptr) return module;
  module = versions_ == kSideBySide ? LoadSideBySideLibrary(name_) : LoadSystemLibrary(name_);
  if (module == nullptr) {
    DWORD error = GetLastError();
    if (!failure_logged_.exchange(true))
      KS_LOG(3, kOperation, "Failed to load %s from the system folder, error %d", Narrow(name_).c_str(),
             static_cast<int>(error));
    SetLastError(error);
    return nullptr;
  }
  // Two threads may both have loaded it; the library stays loaded either way.
  module_.store(module, std::memory_order_release);
  return module;
}

void* SystemLibrary::Find(const char* function, std::atomic<bool>* failure_logged) const {
  HMODULE module = Module();
  if (module == nullptr) return nullptr;
  void* address = reinterpret_cast<void*>(GetProcAddress(module, function));
  if (address == nullptr) {
    DWORD error = GetLastError();
    if (failure_logged != nullptr && !failure_logged->exchange(true))
      KS_LOG(3, kOperation, "Failed to find %s in %s, error %d", function, Narrow(name_).c_str(),
             static_cast<int>(error));
    SetLastError(error);
  }
  return address;
}

}  // namespace ks
