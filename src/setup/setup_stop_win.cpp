#include <windows.h>

#include <string>

#include "base/error_text.h"
#include "base/handles_win.h"
#include "base/log_api.h"
#include "setup/setup_handler_win.h"
#include "system/process_control_win.h"

namespace {

const wchar_t kClientWindowClass[] = L"KestrelonMainWindowClass";
const UINT kCloseRequest = WM_USER + 4000;  // 5024
const int kCloseAttempts = 5;
const DWORD kCloseWaitMs = 1000;
const wchar_t kServiceName[] = L"Kestrelon";
const char kServiceProcess[] = "KSService.exe";
const DWORD kServiceFirstWaitMs = 500;
const int kServiceChecks = 5;
const DWORD kServiceCheckWaitMs = 1000;
const DWORD kAllAccess = 0xF003F;

// Lines that end in the calling thread's last system error and its text.
void LogWithLastError(const char* operation, const std::string& lead) {
  int code = static_cast<int>(GetLastError());
  KS_LOG(0, operation, "%serror code: %d, error: %s", lead.c_str(), code, GetErrorText(code));
}

const char kOneColon[] = "SetupHandler:StopProcess()";
const char kCloseLead[] = "Failed to close KestrelonMainWindowClass, ";

}  // namespace

void SetupHandler::StopProcess() {
  KS_LOG(0, "SetupHandler::StopProcess", "Enter ...");

  // Ask the client to close itself first; it gets about five seconds.
  HWND window = FindWindowW(kClientWindowClass, nullptr);
  if (window != nullptr) PostMessageW(window, kCloseRequest, 0, 0);
  window = FindWindowW(kClientWindowClass, nullptr);
  if (window != nullptr) {
    for (int attempt = 0; attempt < kCloseAttempts; ++attempt) {
      LogWithLastError(kOneColon, kCloseLead);
      Sleep(kCloseWaitMs);
      window = FindWindowW(kClientWindowClass, nullptr);
      if (window != nullptr) {
        LogWithLastError(kOneColon, std::string("2") + kCloseLead);
        PostMessageW(window, kCloseRequest, 0, 0);
        LogWithLastError(kOneColon, std::string("3") + kCloseLead);
      }
      LogWithLastError(kOneColon, std::string("4") + kCloseLead);
      if (window == nullptr) break;
    }
  }
  LogWithLastError(kOneColon, "1");

  // The quoted names also catch executables whose whole name is a piece of
  // them (see Utility::TerminateProcessByName).
  Utility::TerminateProcessByName(ks::Format("\"%s.exe\"", "Kestrelon").c_str());
  LogWithLastError(kOneColon, "2");
  Utility::TerminateProcessByName(ks::Format("\"%s.ex\"", "Kestrelon").c_str());
  LogWithLastError(kOneColon, "3");
  Utility::TerminateProcessByName(ks::Format("\"%s.exe\"", "KSInstaller").c_str());
  LogWithLastError("SetupHandler::StopProcess",
                   ks::Format("Has stopped %s.exe and %s.exe, ", "Kestrelon", "KSInstaller"));

  bool service_mode_running = IsProcessRunning(kServiceProcess);
  KS_LOG(0, "SetupHandler::StopProcess", service_mode_running ? "bServiceModeRunning is true"
                                                              : "bServiceModeRunning is false");
  // Only the system account may stop the client's service.
  if (!m_bSystemUser) return;

  ks::UniqueService manager(OpenSCManagerW(nullptr, nullptr, kAllAccess));
  if (!manager) {
    int error = static_cast<int>(GetLastError());
    KS_LOG(3, "SetupHandler::StopProcess()", "failed to OpenSCManager(). Error: %d, %s", error, GetErrorText(error));
    return;
  }
  KS_LOG(0, "SetupHandler::StopProcess", "OpenSCManager() succeeded");
  ks::UniqueService service(OpenServiceW(manager.get(), kServiceName, kAllAccess));
  if (!service) {
    int error = static_cast<int>(GetLastError());
    KS_LOG(3, "SetupHandler::StopProcess()", "failed to OpenService(). Error: %d, %s", error, GetErrorText(error));
    return;
  }
  KS_LOG(0, "SetupHandler::StopProcess", "OpenService() succeeded");

  SERVICE_STATUS status = {};
  if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
    int error = static_cast<int>(GetLastError());
    KS_LOG(3, "SetupHandler::StopProcess()", "failed to ControlService(SERVICE_CONTROL_STOP). Error: %d, %s", error,
           GetErrorText(error));
    return;
  }
  Sleep(kServiceFirstWaitMs);
  bool running = IsProcessRunning(kServiceProcess);
  for (int check = 1; running && check <= kServiceChecks; ++check) {
    Sleep(kServiceCheckWaitMs);
    running = IsProcessRunning(kServiceProcess);
    KS_LOG(0, "SetupHandler::StopProcess", "Wait to stop service %d", check);
  }
  KS_LOG(0, "SetupHandler::StopProcess", running ? "Failed to stop service" : "Stop service successfully");
}
