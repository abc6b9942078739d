// The trivial program the benchmarks measure Wine itself with: a windowless
// program of the starter's kind (GUI subsystem, statically linked) that ends
// at once. For the memory benchmark it can also stay until ended, after
// signalling a named event, and first touch and free a block of memory:
//   bench_trivial [--touch=PATH] [--ready-event=NAME] [--probe-mib=N] [--wait-ms=N] [--hidden-window]
// --touch creates an empty file as its first act, which a timing from
// outside waits for. --hidden-window keeps a window that is never shown for
// the --wait-ms: Wine's desktop process then stays up for the programs
// measured meanwhile, as the desktop always does on Windows.
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

// Holds a window that is never shown, answering its messages, for `wait_ms`.
void KeepHiddenWindow(HINSTANCE instance, UINT wait_ms) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = instance;
  window_class.lpszClassName = L"BenchHiddenWindow";
  if (!RegisterClassW(&window_class)) return;
  HWND window = CreateWindowExW(0, L"BenchHiddenWindow", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance,
                                nullptr);
  if (window == nullptr) return;
  SetTimer(window, 1, wait_ms, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0 && message.message != WM_TIMER) DispatchMessageW(&message);
  DestroyWindow(window);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const wchar_t* command_line = GetCommandLineW();
  if (wcsstr(command_line, L" --") == nullptr) return 0;

  wchar_t value[256];
  Option(command_line, L"--touch=", value, 256);
  if (value[0] != L'\0') {
    HANDLE touched = CreateFileW(value, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (touched != INVALID_HANDLE_VALUE) CloseHandle(touched);
  }
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
  DWORD wait_ms = static_cast<DWORD>(wcstoul(value, nullptr, 10));
  if (wcsstr(command_line, L" --hidden-window") != nullptr)
    KeepHiddenWindow(instance, wait_ms);
  else
    Sleep(wait_ms);
  return 0;
}
