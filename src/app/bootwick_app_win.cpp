#include "app/bootwick_app_win.h"

#include <commctrl.h>
#include <winsock2.h>

#include <cstdio>
#include <cstring>

#include "app/embedded_settings_win.h"
#include "app/library_search_win.h"
#include "app/own_path_win.h"
#include "app/pc_utility_win.h"
#include "app/starter_name.h"
#include "base/log_api.h"
#include "base/my_log_win.h"
#include "base/run_failure.h"
#include "base/system_api_win.h"
#include "base/tag_field.h"
#include "base/wide_text.h"
#include "crash/crash_handler.h"
#include "crash/failure_report_win.h"
#include "net/my_configure_win.h"
#include "net/proxy_credentials_win.h"
#include "system/split_path.h"
#include "ui/bootwick_dialog_win.h"
#include "ui/resources/resource.h"

namespace {
const char kOperation[] = "BootwickApp::InitInstance()";
const unsigned long kFailureReportWaitMs = 5000;

bool IsTextNotification(int code) {
  return code >= NOTIFY_SHOW_MESSAGE && code <= NOTIFY_CLOSE && code != NOTIFY_INIT_FAILED;
}

int EditionIcon(const char* settings) {
  char oem_id[512];
  Utility::GetTagValue(settings, "<__OEMId__>", "</__OEMId__>", oem_id, sizeof oem_id);
  if (strcmp(oem_id, "Fennimo") == 0) return IDI_EDITION_FENNIMO;
  if (strcmp(oem_id, "Quorrel") == 0) return IDI_EDITION_QUORREL;
  return IDI_EDITION_DEFAULT;
}
}  // namespace

BootwickApp::BootwickApp()
    : m_pSetupHandler(nullptr),
      m_pBootwickDialog(nullptr),
      m_pMyLog(nullptr),
      m_pMyConfigure(nullptr),
      m_bWindowGone(false),
      m_bClosedByFlow(false),
      m_hNotified(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  m_sSetting[0] = '\0';
  InitializeCriticalSection(&m_oWindowLock);
}

// Nothing is released: see the declaration.
BootwickApp::~BootwickApp() {}

bool BootwickApp::InitInstance(HINSTANCE instance, const wchar_t* command_line) {
  InstallCrashHandler("Default");

  if (!StartLog()) return false;
  ks::SetRunFailureListener(&StartFailureReport);
  if (!LibrarySearchRestricted())
    KS_LOG(0, kOperation, "SetDefaultDllDirectories() is not available: libraries are searched in the default order");
  StartAccessCache();

  if (!BootwickDialog::RegisterWindowClass(instance))
    KS_LOG(0, kOperation, "AfxRegisterClass failed for %s", "KSSetupWindow");
  m_pBootwickDialog = new BootwickDialog();

  WSADATA wsa_data;
  WSAStartup(MAKEWORD(1, 1), &wsa_data);

  m_sSetting[0] = '\0';
  m_pSetupHandler = new SetupHandler();
  m_pSetupHandler->SetSetupInterface(this);

  if (!UTF16ToUTF8(command_line, m_pSetupHandler->m_sCommandLine, SetupHandler::kCommandLineSize))
    m_pSetupHandler->m_sCommandLine[0] = '\0';
  KS_LOG(0, kOperation, "m_lpCmdLine = %s", m_pSetupHandler->m_sCommandLine);

  if (m_pSetupHandler->m_sCommandLine[0] != '\0') {
    m_pSetupHandler->DecodeMeetingQuery(m_sSetting);
  } else {
    FindEmbeddedSettings(m_sSetting);
  }
  if (m_sSetting[0] == '\0' && !m_pSetupHandler->LoadSetupConfigure(m_sSetting)) {
    RegisterProtocolFromFileName();
    // A participant who followed a link that cannot be read would otherwise
    // see nothing happen at all.
    if (command_line != nullptr && command_line[0] != L'\0') RunSetup(instance, false);
    return false;
  }
  RunSetup(instance, true);
  return false;
}

// Nothing can be told before the log exists, so its failures go to standard
// output, numbered by the step that failed.
bool BootwickApp::StartLog() {
  const char* failure = nullptr;
  if (!MyLog::Initialize("KSSetup")) {
    failure = "1...\n";
  } else if ((m_pMyLog = MyLog::GetInstance()) == nullptr) {
    failure = "2...\n";
  } else {
    m_pMyLog->SetFileName("KSSetup.txt");
    if (!m_pMyLog->GetWorkingDirectory()) failure = "3...\n";
  }
  if (failure == nullptr) return true;
  fputs(failure, stdout);
  fflush(stdout);
  return false;
}

// The access cache lives in "Cache.xml" beside the starter, where the error
// report also looks for it.
void BootwickApp::StartAccessCache() {
  MyConfigure::Initialize(0);
  m_pMyConfigure = MyConfigure::GetInstance();
  if (m_pMyConfigure == nullptr) return;
  char own_path[512];
  char folder[512];
  char name[512];
  char cache_path[512];
  GetOwnPath(own_path, sizeof own_path);
  if (SplitPath(own_path, folder, sizeof folder, name, sizeof name, "\\") &&
      ks::FormatText(cache_path, sizeof cache_path, "%s\\Cache.xml", folder))
    m_pMyConfigure->UseCacheFile(cache_path);
}

void BootwickApp::RegisterProtocolFromFileName() {
  char path[512];
  char folder[512];
  char file_name[512];
  GetOwnPath(path, sizeof path);
  SplitPath(path, folder, sizeof folder, file_name, sizeof file_name, "\\");
  KS_LOG(0, kOperation, "sCurrentFilePath = %s, sCurrentFileName = %s", path, file_name);

  char client_name[512];
  if (!ClientNameFromFileName(file_name, client_name, sizeof client_name)) {
    KS_LOG(0, kOperation, "invalid sCurrentFileName = %s", file_name);
    return;
  }
  PCUtility::RegisterStarter(path, client_name);
  KS_LOG(0, kOperation, "No Meeting Parameter, sClientName = %s", client_name);
}

void BootwickApp::RunSetup(HINSTANCE instance, bool meeting_found) {
  HICON edition_icon = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(EditionIcon(m_sSetting)), IMAGE_ICON, 16, 16, LR_SHARED));
  m_pBootwickDialog->SetEditionIcon(edition_icon);

  // A settings text the reader refuses (it breaks a limit, which is logged)
  // names no meeting that could be set up: the window says so instead of
  // letting the worker try with default values. An empty text is fine: the
  // settings then come from the command parameter file. A worker that
  // cannot start tells the window itself.
  if (!meeting_found || (m_sSetting[0] != '\0' && !m_pSetupHandler->ParseSetting(m_sSetting))) {
    ks::RecordRunFailure(ks::FailureCause::kLinkUnreadable);
    Notify(NOTIFY_INIT_FAILED, 0, 0);
  } else {
    m_pSetupHandler->StartFlow();
  }

  // The window is made once the worker has something to show, so that a
  // client the worker starts at once (an installed, current one) does not
  // wait for the window's start-up: the common controls, and with them
  // Wine's display driver and theming, take longer than the rest of the
  // launch. Its notifications wait for it meanwhile. The controls serve the
  // window alone and are started where it is made.
  WaitForSomethingToShow();
  // A window the flow has closed already (the launch road) is not made: it
  // would only flash over the client just started.
  if (ClosedByFlow()) {
    m_pBootwickDialog->EndWithoutWindow();
  } else {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
    ks::sys::InitCommonControlsEx(&controls);
    m_pBootwickDialog->DoModal();
  }
  DiscardUndeliveredNotifications();
  // The reports outlive the window, never the process (the failure report
  // gets a few seconds), and so does the worker's hold on the setup folder
  // while the program it started runs (bounded). A participant who closed
  // the window before the flow was over has given up the run: it ends at
  // once, with its threads.
  if (FlowIsOver() || m_pSetupHandler->GetThreadHandle() == nullptr) {
    SetupHandler::WaitForInstallationReports();
    WaitForFailureReport(kFailureReportWaitMs);
    HANDLE worker = m_pSetupHandler->GetThreadHandle();
    if (worker != nullptr) WaitForSingleObject(worker, INFINITE);
  }
  ksnet::WipeProxyCredentials();
}

bool BootwickApp::ClosedByFlow() {
  EnterCriticalSection(&m_oWindowLock);
  bool closed_by_flow = m_bClosedByFlow;
  LeaveCriticalSection(&m_oWindowLock);
  return closed_by_flow;
}

bool BootwickApp::FlowIsOver() {
  HANDLE worker = m_pSetupHandler->GetThreadHandle();
  return ClosedByFlow() || m_pSetupHandler->m_bHandingOver ||
         (worker != nullptr && WaitForSingleObject(worker, 0) == WAIT_OBJECT_0);
}

void BootwickApp::WaitForSomethingToShow() {
  // Long enough for the launch road; short enough that a worker slow to
  // its first word never leaves the participant long without a window.
  const DWORD kWindowDelayMs = 250;
  HANDLE events[2];
  DWORD count = 0;
  if (m_hNotified != nullptr) events[count++] = m_hNotified;
  if (m_pSetupHandler->GetThreadHandle() != nullptr) events[count++] = m_pSetupHandler->GetThreadHandle();
  if (count > 0) WaitForMultipleObjects(count, events, FALSE, kWindowDelayMs);
}

void BootwickApp::Notify(int code, uintptr_t first, intptr_t second) {
  // The window posts with PostMessageW; it also keeps what comes before it
  // exists (a quick failure would otherwise be lost) and frees what it has
  // not handled when it ends.
  bool posted = false;
  EnterCriticalSection(&m_oWindowLock);
  // The flow's last act on the launch road: only returning is left to it.
  if (code == NOTIFY_CLOSE) m_bClosedByFlow = true;
  if (m_pBootwickDialog != nullptr && !m_bWindowGone)
    posted = m_pBootwickDialog->PostNotification(static_cast<UINT>(code), first, second);
  LeaveCriticalSection(&m_oWindowLock);
  if (!posted && IsTextNotification(code)) FreeNotificationText(reinterpret_cast<char*>(first));
  if (m_hNotified != nullptr) SetEvent(m_hNotified);
}

// Once the window has ended nothing more is posted; texts that were posted but
// never handled are still in this thread's queue and are freed here.
void BootwickApp::DiscardUndeliveredNotifications() {
  EnterCriticalSection(&m_oWindowLock);
  m_bWindowGone = true;
  LeaveCriticalSection(&m_oWindowLock);
  MSG message;
  while (PeekMessageW(&message, nullptr, NOTIFY_SHOW_MESSAGE, NOTIFY_CLOSE, PM_REMOVE)) {
    if (IsTextNotification(static_cast<int>(message.message)))
      FreeNotificationText(reinterpret_cast<char*>(message.wParam));
  }
}
