// The trivial program the benchmarks measure Wine itself with: a windowless
// program of the starter's kind (GUI subsystem, statically linked) that ends
// at once. For the memory benchmark it can also stay until ended, after
// signalling a named event, and first touch and free a block of memory:
//   bench_trivial [--ready-event=NAME] [--probe-mib=N] [--wait-ms=N]
// The command line is read without shell32 so that no library beyond the
// minimal ones is loaded.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

// The text after "--name=" up to the next space, or empty.
void Option(const wchar_t* command_line, const wchar_t* name, wchar_t* value, size_t capacity) {
  value[0] = L'\0';
  const wchar_t* found = wcsstr(command_line, name);
  if (found == nullptr) return;
  found += wcslen(name);
  size_t n = 0;
  while (found[n] != L'\0' && found[n] != L' ' && n + 1 < capacity) {
    value[n] = found[n];
    ++n;
  }
  value[n] = L'\0';
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const wchar_t* command_line = GetCommandLineW();
  if (wcsstr(command_line, L" --") == nullptr) return 0;

  wchar_t value[256];
  Option(command_line, L"--probe-mib=", value, 256);
  size_t probe_bytes = static_cast<size_t>(wcstoul(value, nullptr, 10)) << 20;
  if (probe_bytes > 0) {
    // Touched and handed back, so only a true peak figure still shows it.
    void* block = VirtualAlloc(nullptr, probe_bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (block != nullptr) {
      memset(block, 0x5A, probe_bytes);
      VirtualFree(block, 0, MEM_RELEASE);
    }
  }
  Option(command_line, L"--ready-event=", value, 256);
  if (value[0] != L'\0') {
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, value);
    if (ready != nullptr) {
      SetEvent(ready);
      CloseHandle(ready);
    }
  }
  Option(command_line, L"--wait-ms=", value, 256);
  Sleep(static_cast<DWORD>(wcstoul(value, nullptr, 10)));
  return 0;
}
