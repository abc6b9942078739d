#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/handles_win.h"
#include "base/log_api.h"
#include "base/run_failure.h"
#include "base/transient_retry_win.h"
#include "base/wide_text.h"
#include "setup/setup_handler_win.h"
#include "setup/setup_lines.h"
#include "setup/version_file_win.h"
#include "system/process_control_win.h"
#include "system/publisher_check_win.h"
#include "system/split_path.h"
#include "system/status_file_handler_win.h"
#include "system/user_account_win.h"

namespace {

const char kCommandParameterFile[] = "rsp1024hcmd.txt";
const char kLaunchOpeningTag[] = "<__ClientCalledToLaunch__>";
const char kLaunchClosingTag[] = "</__ClientCalledToLaunch__>";
// The process start takes at most 2048 UTF-16 characters.
const int kInstallerCommandLineSize = 2048;

// Files for the client side are text streams: line ends are stored as CR LF.
void WriteParameterFile(const char* operation, const std::string& path, const char* text) {
  ks::UniqueFile file(ks::OpenFileRetrying(operation, Widen(path.c_str()).c_str(), L"w"));
  if (!file) {
    KS_LOG(0, operation, "Filed to open file to write: %s", path.c_str());
    return;
  }
  fprintf(file.get(), "%s", text);
}

// Starts the program hidden through the shell with `verb`; `process` gets
// its process where the shell gives one.
bool StartThroughShell(const std::string& program, const wchar_t* verb, ks::UniqueHandle* process) {
  std::wstring file = Widen(program.c_str());
  SHELLEXECUTEINFOW request = {};
  request.cbSize = sizeof request;
  request.fMask = SEE_MASK_NOCLOSEPROCESS;
  request.hwnd = nullptr;
  request.lpVerb = verb;
  request.lpFile = file.c_str();
  request.lpParameters = L"";
  request.lpDirectory = nullptr;
  request.nShow = SW_HIDE;
  if (!ks::RetryTransient("SetupHandler::CallToInstall", "start", file.c_str(),
                          [&] { return ShellExecuteExW(&request) != FALSE; }))
    return false;
  process->reset(request.hProcess);
  return true;
}

// A program from the package runs only when it comes from the starter's own
// publisher; `hold` keeps the checked file as it is until it was started.
// Otherwise the run ends with the window's failure text; the unpacked files
// stay for the participant or support to look at.
bool RefusedByPublisherCheck(SetupHandler* handler, const std::string& program, ks::UniqueHandle* hold) {
  if (PublisherCheck::MayStart(program.c_str(), hold)) return false;
  ks::RecordRunFailure(ks::FailureCause::kPackageRefused);
  handler->NotifyIncomplete();
  return true;
}

}  // namespace

void SetupHandler::CheckIsVersionIsSynced() {
  const char* operation = "SetupHandler::CheckIsVersionIsSynced";
  char candidates[4][kTextSize];
  bool formed[4] = {
      ks::FormatText(candidates[0], kTextSize, "%s\\%s\\%s\\%s", m_sUserApplicationDirectory, m_sClientName,
                     "Kestrelon", "version.txt"),
      ks::FormatText(candidates[1], kTextSize, "%s\\%s\\%s\\%s", m_sTempDirectory, m_sClientName, "Kestrelon",
                     "version.txt"),
      ks::FormatText(candidates[2], kTextSize, "%s\\%s\\%s\\%s", m_sCurrentDirectory, m_sClientName, "Kestrelon",
                     "version.txt"),
      ks::FormatText(candidates[3], kTextSize, "%s\\%s\\%s", m_sCurrentDirectory, "Kestrelon", "version.txt"),
  };
  for (int i = 0; i < 4; ++i) {
    if (!formed[i]) continue;  // a path that does not fit cannot name an installation
    KS_LOG(0, operation, "sVersionFileName is %s", candidates[i]);
    // A word longer than any version this starter can hold cannot match it.
    std::string existing;
    if (!ReadVersionFile(candidates[i], kTextSize - 1, &existing)) continue;

    char directory[kTextSize];
    char file_name[kTextSize];
    SplitPath(candidates[i], directory, sizeof directory, file_name, sizeof file_name, "\\");
    ks::CopyText(m_sClientDirectory, sizeof m_sClientDirectory, directory);
    KS_LOG(0, operation, "sExistingVersion is %s, m_sClientDirectory = %s", existing.c_str(), m_sClientDirectory);
    m_bIsVersionSynced = existing == m_sVersion;
    return;
  }
  m_bIsVersionSynced = false;
  KS_LOG(0, operation, "Failed to find any KS installation");
}

bool SetupHandler::LaunchClient() {
  const char* operation = "SetupHandler::LaunchClient";
  KS_LOG(0, operation, "Existing version is current, m_bCalledByClientToSyncVersion = %s, m_sClientDirectory = %s",
         ks::YesNo(m_bCalledByClientToSyncVersion), m_sClientDirectory);
  StartInstallationReport();

  // "Y" means the client was called before and has not confirmed since: the
  // installation is not trusted, so it is installed afresh.
  StatusFileHandler status;
  char launched[kTextSize] = "";
  status.ReadStatus(StatusFileHandler::kSetupStatus, m_sClientDirectory, kLaunchOpeningTag, kLaunchClosingTag,
                    launched);
  if (strcmp(launched, "Y") == 0) return false;

  if (!m_bCalledByClientToSyncVersion) {
    SetupLineValues values = {m_sSetupDirectory, m_sCurrentDirectory, m_sCurrentFile, !m_bStartedWithParameter,
                              true};
    size_t needed = 0;
    if (!PutInFront(m_sSetting, sizeof m_sSetting, BuildSetupLines(values), &needed)) {
      KS_LOG(0, operation, "Launch lines and settings need %u bytes, more than the %d bytes of m_sSetting",
             static_cast<unsigned>(needed), kSettingSize);
      return false;
    }
  }

  std::string parameter_file = ks::Format("%s\\%s", m_sClientDirectory, kCommandParameterFile);
  WriteParameterFile(operation, parameter_file, m_sSetting);
  KS_LOG(0, operation, "m_sClientDirectory: %s", m_sClientDirectory);
  status.WriteStatus(StatusFileHandler::kSetupStatus, m_sClientDirectory, kLaunchOpeningTag, kLaunchClosingTag, "Y");

  std::string command_line =
      ks::Format("\"%s\\%s.exe\" %s %s", m_sClientDirectory, "Kestrelon", "--program", parameter_file.c_str());
  DWORD process_id = 0;
  Utility::StartProcess(command_line.c_str(), m_sClientDirectory, &process_id);
  KS_LOG(0, "PCInstaller:LaunchClient()", "Skip installation --- Utility::StartProcess(%s, %s)",
         command_line.c_str(), m_sClientDirectory);

  NotifyText(NOTIFY_CLOSE, "Launching %s ... ", m_sClientName);
  return true;
}

void SetupHandler::CallToInstall() {
  const char* operation = "SetupHandler::CallToInstall";
  KS_LOG(0, operation, "m_sSetupDirectory: %s", m_sSetupDirectory);

  // The program is chosen and checked before the installation is reported
  // here: a refused one is not. The server may have heard already: where a
  // current client's launch was refused, or its launch lines did not fit,
  // that launch started the report before this road began.
  std::string installer = ks::Format("%s\\%s", m_sSetupDirectory, "KSInstaller.exe");
  std::string launcher = ks::Format("%s\\%s", m_sSetupDirectory, "KSLauncher.exe");
  bool launcher_found = GetFileAttributesW(Widen(launcher.c_str()).c_str()) != INVALID_FILE_ATTRIBUTES;
  bool gardolo = strcmp(m_sClientName, "Gardolo") == 0;
  // This edition's launcher installs for all users: an administrator is
  // asked to elevate it.
  bool through_shell = gardolo && !IsWindowsXP() && launcher_found;
  std::string program;
  if (gardolo) {
    KS_LOG(0, operation, "It is Gardolo");
    program = through_shell ? launcher : installer;
  } else {
    program = launcher;
    if (!launcher_found) {
      KS_LOG(0, operation, "Failed to find sInstaller = %s", launcher.c_str());
      program = installer;
    }
  }
  ks::UniqueHandle checked;
  if (RefusedByPublisherCheck(this, program, &checked)) return;

  StartInstallationReport();
  KS_LOG(0, operation, "m_bIsV4Client is false.");
  WriteParameterFile(operation, ks::Format("%s\\%s", m_sSetupDirectory, kCommandParameterFile), m_sSetting);

  if (m_bCalledByClientToSyncVersion) {
    KS_LOG(0, operation, "m_bCalledByClientToSyncVersion is true");
    std::string service_cache = ks::Format("%s\\%s\\%s", m_sCurrentDirectory, "Kestrelon", "KSServiceCache.txt");
    std::string copied_cache = ks::Format("%s\\%s", m_sSetupDirectory, "KSServiceCache.txt");
    std::wstring wide_cache = Widen(service_cache.c_str());
    ks::RetryTransient(operation, "copy", wide_cache.c_str(), [&] {
      return CopyFileW(wide_cache.c_str(), Widen(copied_cache.c_str()).c_str(), FALSE) != FALSE;
    });
    WriteParameterFile(operation, ks::Format("%s\\WorkingDirectory.txt", m_sSetupDirectory),
                       TagLine("WorkingDirectory", m_sCurrentDirectory).c_str());
  } else {
    KS_LOG(0, operation, "m_bCalledByClientToSyncVersion is false");
  }

  // Only starting the program is left: a participant who closes the window
  // from now on has not given up the run. The program keeps the setup
  // folder from a second starter until it has ended (for a bounded time).
  m_bHandingOver = true;
  if (gardolo) {
    ks::UniqueHandle launched;
    if (through_shell && StartThroughShell(launcher, Utility::IsUserAdmin() ? L"runas" : L"open", &launched)) {
      KS_LOG(0, operation, "ShellExecuteEx() sInstaller = %s", launcher.c_str());
      m_oSetupFolderLock.ReleaseWhenEnded(launched.get(), launcher.c_str());
      return;
    }
    if (IsWindowsXP()) {
      KS_LOG(0, operation, "It is XP");
    } else {
      // A launcher that is not there is not asked for: the shell would
      // have said just this.
      DWORD error = through_shell ? GetLastError() : ERROR_FILE_NOT_FOUND;
      KS_LOG(0, operation, "ShellExecuteEx() InstallService.exe failed, GetLastError() = %d", static_cast<int>(error));
    }
    if (through_shell) {
      program = installer;
      if (RefusedByPublisherCheck(this, program, &checked)) return;
    }
  }
  KS_LOG(0, operation, "sInstaller = %s", program.c_str());

  // The starter's own command line goes on unchanged; one that would not fit
  // the installer's command line is refused rather than cut, and the window
  // must not keep the summary as if the installer had started.
  char command_line[kInstallerCommandLineSize];
  if (!ks::FormatText(command_line, sizeof command_line, "\"%s\" %s", program.c_str(), m_sCommandLine)) {
    KS_LOG(0, operation, "sStartProcess does not fit %d bytes: \"%s\" %s", kInstallerCommandLineSize,
           program.c_str(), m_sCommandLine);
    ks::RecordRunFailure(ks::FailureCause::kLinkUnreadable);
    NotifyIncomplete();
    return;
  }
  DWORD process_id = 0;
  Utility::StartProcess(command_line, m_sSetupDirectory, &process_id);
  ks::UniqueHandle started(process_id != 0 ? OpenProcess(SYNCHRONIZE, FALSE, process_id) : nullptr);
  KS_LOG(0, operation, "StartProcess(sStartProcess = %s, m_sSetupDirectory = %s)", command_line, m_sSetupDirectory);
  checked.reset();
  m_oSetupFolderLock.ReleaseWhenEnded(started.get(), program.c_str());
}
