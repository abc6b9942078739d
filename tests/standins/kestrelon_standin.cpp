// Stand-in for the conference client: a top-level window of the client's
// class that reacts to the starter's close request (message 5024) as asked:
//   --on-close=close (default) | ignore | delay:<ms>   or KS_STANDIN_ON_CLOSE
// It ends by itself after --lifetime=<ms> (KS_STANDIN_LIFETIME_MS, default
// two minutes) so that no test leaves it behind. Its start record is written
// once the window handles messages; a timing from outside that wants the
// program's first act names a file in KS_STANDIN_FIRST_ACT, created before
// anything else.
#include <windows.h>

#include "standin_record.h"

namespace {

const UINT kCloseRequest = WM_USER + 4000;  // 5024
const UINT_PTR kCloseTimer = 1;
const UINT_PTR kLifetimeTimer = 2;
const UINT kRecordStart = WM_APP + 1;

enum class OnClose { kClose, kIgnore, kDelay };
OnClose g_on_close = OnClose::kClose;
UINT g_delay_ms = 0;
bool g_close_pending = false;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case kCloseRequest:
      if (g_on_close == OnClose::kClose) DestroyWindow(window);
      // Repeated requests do not push the close further away.
      if (g_on_close == OnClose::kDelay && !g_close_pending) {
        g_close_pending = true;
        SetTimer(window, kCloseTimer, g_delay_ms, nullptr);
      }
      return 0;
    case kRecordStart:
      // Written from the running message loop: once the record exists, the
      // window answers close requests at once.
      standin::RecordStart(L"Kestrelon");
      return 0;
    case WM_TIMER:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  wchar_t first_act[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"KS_STANDIN_FIRST_ACT", first_act, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    HANDLE touched = CreateFileW(first_act, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (touched != INVALID_HANDLE_VALUE) CloseHandle(touched);
  }
  std::wstring mode = standin::Option(L"on-close", L"KS_STANDIN_ON_CLOSE");
  if (mode == L"ignore") {
    g_on_close = OnClose::kIgnore;
  } else if (mode.compare(0, 6, L"delay:") == 0) {
    g_on_close = OnClose::kDelay;
    g_delay_ms = static_cast<UINT>(standin::NumberOption(mode.substr(6), 500));
  }
  UINT lifetime = static_cast<UINT>(
      standin::NumberOption(standin::Option(L"lifetime", L"KS_STANDIN_LIFETIME_MS"), 120000));

  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = L"KestrelonMainWindowClass";
  if (!RegisterClassW(&window_class)) return 1;
  // A bordered popup shown without activation: without a window manager (the
  // virtual display of the tests) Wine waits two seconds for a managed window
  // to be withdrawn when it closes, and a popup that is not activated is not
  // managed.
  HWND window = CreateWindowExW(0, L"KestrelonMainWindowClass", L"Kestrelon", WS_POPUP | WS_BORDER, 100, 100, 320,
                                200, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  if (show != SW_HIDE) ShowWindow(window, SW_SHOWNA);
  SetTimer(window, kLifetimeTimer, lifetime, nullptr);
  PostMessageW(window, kRecordStart, 0, 0);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
