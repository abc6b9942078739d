// Stand-in for the client's Windows service "Kestrelon". As a service it runs
// until it is told to stop; with --stop-delay=<ms> (a start argument or an
// argument of its registered command line) it lingers that long after the
// stop control before it reports itself stopped and ends. Started as a plain
// program it only runs for --run-for=<ms> (default 30 s), so tests can find a
// "KSService.exe" process without the service control manager.
// --record-dir=<dir> names where the start record goes.
#include <windows.h>

#include <cwchar>
#include <string>

#include "standin_record.h"

namespace {

SERVICE_STATUS_HANDLE g_status_handle = nullptr;
HANDLE g_stop_event = nullptr;
DWORD g_stop_delay_ms = 0;

void ReportStatus(DWORD state, DWORD wait_hint = 0) {
  SERVICE_STATUS status = {};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status.dwWaitHint = wait_hint;
  SetServiceStatus(g_status_handle, &status);
}

DWORD WINAPI ControlHandler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    ReportStatus(SERVICE_STOP_PENDING, g_stop_delay_ms + 1000);
    SetEvent(g_stop_event);
    return NO_ERROR;
  }
  return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

// Start arguments come first; the registered command line fills in the rest.
std::wstring ArgumentValue(DWORD argc, wchar_t** argv, const wchar_t* name) {
  std::wstring prefix = std::wstring(L"--") + name + L"=";
  for (DWORD i = 1; i < argc; ++i)
    if (wcsncmp(argv[i], prefix.c_str(), prefix.size()) == 0) return argv[i] + prefix.size();
  return standin::Option(name, L"");
}

void WINAPI ServiceMain(DWORD argc, wchar_t** argv) {
  g_stop_delay_ms = standin::NumberOption(ArgumentValue(argc, argv, L"stop-delay"), 0);
  standin::RecordStart(L"KSService", ArgumentValue(argc, argv, L"record-dir"));
  g_stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  g_status_handle = RegisterServiceCtrlHandlerExW(L"Kestrelon", ControlHandler, nullptr);
  if (g_status_handle == nullptr) return;
  ReportStatus(SERVICE_RUNNING);
  WaitForSingleObject(g_stop_event, INFINITE);
  Sleep(g_stop_delay_ms);
  ReportStatus(SERVICE_STOPPED);
}

}  // namespace

int wmain() {
  wchar_t name[] = L"Kestrelon";
  SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  if (StartServiceCtrlDispatcherW(table)) return 0;
  if (GetLastError() != ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) return 1;
  standin::RecordStart(L"KSService", standin::Option(L"record-dir", L""));
  Sleep(standin::NumberOption(standin::Option(L"run-for", L"KS_STANDIN_RUN_FOR_MS"), 30000));
  return 0;
}
