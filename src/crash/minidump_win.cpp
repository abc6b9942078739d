#include "crash/minidump_win.h"

#include <dbghelp.h>

#include <cwchar>

#include "base/handles_win.h"
#include "base/system_library_win.h"
#include "crash/program_folder_win.h"

namespace {

typedef BOOL(WINAPI* MiniDumpWriteDumpFunction)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                                PMINIDUMP_EXCEPTION_INFORMATION, PMINIDUMP_USER_STREAM_INFORMATION,
                                                PMINIDUMP_CALLBACK_INFORMATION);

const size_t kPathCapacity = 600;

HMODULE LoadFrom(const wchar_t* folder) {
  wchar_t path[kPathCapacity];
  int written = swprintf(path, kPathCapacity, L"%lsdbghelp.dll", folder);
  if (written < 0 || static_cast<size_t>(written) >= kPathCapacity) return nullptr;
  return LoadLibraryW(path);
}

// The system's library; only on a system without one, the library beside
// the program, then the one a helper may have left in the temporary folder
// for this process, both by full path. A library beside the program would
// otherwise run code from a folder a web page can drop files into.
HMODULE LoadDebugHelpLibrary() {
  if (HMODULE library = ks::LoadSystemLibrary(L"dbghelp.dll")) return library;
  wchar_t folder[kPathCapacity];
  if (ProgramFolder(folder, kPathCapacity)) {
    if (HMODULE library = LoadFrom(folder)) return library;
  }
  wchar_t temp[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  if (length != 0 && length <= MAX_PATH) {
    int written = swprintf(folder, kPathCapacity, L"%lsVEVadavar%lu\\", temp,
                           static_cast<unsigned long>(GetCurrentProcessId()));
    if (written > 0 && static_cast<size_t>(written) < kPathCapacity) {
      if (HMODULE library = LoadFrom(folder)) return library;
    }
  }
  return nullptr;
}

}  // namespace

bool WriteMiniDump(HANDLE file, EXCEPTION_POINTERS* exception) {
  OutputDebugStringW(L"writing minidump\r\n");
  MINIDUMP_EXCEPTION_INFORMATION information;
  information.ThreadId = GetCurrentThreadId();
  information.ExceptionPointers = exception;
  information.ClientPointers = FALSE;

  ks::UniqueLibrary library(LoadDebugHelpLibrary());
  if (!library) return false;
  MiniDumpWriteDumpFunction write_dump = reinterpret_cast<MiniDumpWriteDumpFunction>(
      reinterpret_cast<void*>(GetProcAddress(library.get(), "MiniDumpWriteDump")));
  if (write_dump == nullptr) return false;
  return write_dump(GetCurrentProcess(), GetCurrentProcessId(), file, static_cast<MINIDUMP_TYPE>(kCrashDumpType),
                    &information, nullptr, nullptr) != FALSE;
}
