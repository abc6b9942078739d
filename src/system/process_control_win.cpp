#include "system/process_control_win.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <cstring>
#include <string>

#include "base/error_text.h"
#include "base/handles_win.h"
#include "base/log_api.h"
#include "base/transient_retry_win.h"
#include "base/wide_text.h"
#include "system/command_line.h"

namespace {

const int kCommandTextSize = 2048;
const int kProcessNameSize = 512;

// Enables SeDebugPrivilege on the calling thread's token, impersonating the
// process first when the thread has no token of its own. True when the thread
// now impersonates and must revert.
bool EnableDebugPrivilege() {
  const DWORD access = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;
  bool impersonated = false;
  HANDLE raw = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), access, FALSE, &raw)) {
    DWORD error = GetLastError();
    raw = nullptr;
    if (error != ERROR_NO_TOKEN) {
      KS_LOG(3, "Utility::TerminateProcessByName", "OpenThreadToken() failed: %d, %s", static_cast<int>(error),
             GetErrorText(static_cast<int>(error)));
    } else if (!ImpersonateSelf(SecurityImpersonation)) {
      error = GetLastError();
      KS_LOG(3, "Utility::TerminateProcessByName", "ImpersonateSelf(SecurityImpersonation) failed: %d, %s",
             static_cast<int>(error), GetErrorText(static_cast<int>(error)));
    } else {
      impersonated = true;
      if (!OpenThreadToken(GetCurrentThread(), access, FALSE, &raw)) {
        error = GetLastError();
        raw = nullptr;
        KS_LOG(3, "Utility::TerminateProcessByName", "OpenThreadToken() failed: %d, %s", static_cast<int>(error),
               GetErrorText(static_cast<int>(error)));
      }
    }
  }
  ks::UniqueHandle token(raw);
  if (token) {
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid))
      AdjustTokenPrivileges(token.get(), FALSE, &privileges, sizeof privileges, nullptr, nullptr);
  }
  return impersonated;
}

// A program a scanner still holds cannot be started yet: it is waited for.
// The log names the program as the command line starts it.
BOOL CreateWaitingForScanner(wchar_t* command, const wchar_t* directory, STARTUPINFOW* startup,
                             PROCESS_INFORMATION* info) {
  std::string executable, parameters;
  SplitCommandLine(Narrow(command).c_str(), executable, parameters);
  std::wstring program = Widen(executable.c_str());
  return ks::RetryTransient("Utility::StartProcess", "start", program.c_str(), [&] {
    return CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, directory, startup, info) != FALSE;
  });
}

}  // namespace

namespace Utility {

bool StartProcess(const char* command_line, const char* working_directory, DWORD* process_id) {
  if (command_line == nullptr) command_line = "";
  const bool has_directory = working_directory != nullptr && *working_directory != '\0';
  const int show = strstr(command_line, "Kestrelon.exe") != nullptr ? SW_SHOW : SW_HIDE;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(show);
  PROCESS_INFORMATION info = {};

  // CreateProcessW may write into the command line, so it lives in a buffer.
  wchar_t command[kCommandTextSize];
  wchar_t directory[kCommandTextSize];
  directory[0] = L'\0';
  BOOL created = FALSE;
  DWORD error = 0;
  if (has_directory) {
    KS_LOG(0, "Utility::StartProcess", "sCommandLine = %s, sWorkingDirectory = %s", command_line, working_directory);
    if (!UTF8ToUTF16(command_line, command, kCommandTextSize) ||
        !UTF8ToUTF16(working_directory, directory, kCommandTextSize)) {
      KS_LOG(0, "Utility::StartProcess", "UTF8ToUTF16 failed: longer than %d characters", kCommandTextSize - 1);
      return false;
    }
    KS_LOG(0, "Utility::StartProcess", "UTF8ToUTF16 is OK");
    created = CreateWaitingForScanner(command, directory, &startup, &info);
    error = GetLastError();
    if (created)
      KS_LOG(0, "Utility::StartProcess", "succeeded.");
    else
      KS_LOG(0, "Utility::StartProcess", "iErrorCode = %d, Error = %s", static_cast<int>(error),
             GetErrorText(static_cast<int>(error)));
  } else {
    KS_LOG(0, "Utility::StartProcess", "sCommandLine = %s", command_line);
    if (!UTF8ToUTF16(command_line, command, kCommandTextSize)) {
      KS_LOG(0, "Utility::StartProcess", "UTF8ToUTF16 failed: longer than %d characters", kCommandTextSize - 1);
      return false;
    }
    created = CreateWaitingForScanner(command, nullptr, &startup, &info);
    error = GetLastError();
    KS_LOG(0, "Utility::StartProcess", "iErrorCode = %d, Error = %s", static_cast<int>(error),
           GetErrorText(static_cast<int>(error)));
  }

  if (created) {
    if (process_id != nullptr) *process_id = info.dwProcessId;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
  }

  KS_LOG(0, "Utility::StartProcess", "iErrorCode = %d, Error = %s", static_cast<int>(error),
         GetErrorText(static_cast<int>(error)));
  std::string executable, parameters;
  SplitCommandLine(command_line, executable, parameters);
  wchar_t wide_executable[kCommandTextSize];
  wchar_t wide_parameters[kCommandTextSize];
  int result = 0;
  if (UTF8ToUTF16(executable.c_str(), wide_executable, kCommandTextSize) &&
      UTF8ToUTF16(parameters.c_str(), wide_parameters, kCommandTextSize)) {
    ks::RetryTransient("Utility::StartProcess", "start", wide_executable, [&] {
      HINSTANCE instance = ShellExecuteW(nullptr, L"open", wide_executable, wide_parameters,
                                         has_directory ? directory : nullptr, show);
      result = static_cast<int>(reinterpret_cast<intptr_t>(instance));
      return result > 32;
    });
  }
  if (result > 32) return true;
  error = GetLastError();
  KS_LOG(0, "Utility::StartProcess",
         "ShellExecute(): iHinstance = %d, iErrorCode = %d, Error = %s, sExecutable = %s, sParameter = %s", result,
         static_cast<int>(error), GetErrorText(static_cast<int>(error)), executable.c_str(), parameters.c_str());
  return false;
}

bool TerminateProcessByName(const char* name) {
  if (name == nullptr || *name == '\0') return false;
  std::string requested = name;
  ks::LowerAscii(&requested[0]);
  KS_LOG(0, "Utility::TerminateProcessByName", "sProcessName = %s", requested.c_str());

  ks::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) {
    DWORD error = GetLastError();
    KS_LOG(3, "Utility::TerminateProcessByName", "hProcessSnap == INVALID_HANDLE_VALUE: %d, %s",
           static_cast<int>(error), GetErrorText(static_cast<int>(error)));
    return false;
  }
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  if (!Process32FirstW(snapshot.get(), &entry)) {
    DWORD error = GetLastError();
    snapshot.reset();
    KS_LOG(3, "Utility::TerminateProcessByName", "!Process32First(): %d, %s", static_cast<int>(error),
           GetErrorText(static_cast<int>(error)));
    return false;
  }

  const bool impersonated = EnableDebugPrivilege();
  const DWORD self = GetCurrentProcessId();
  int count = 0;
  do {
    if (++count > 10000) {
      KS_LOG(3, "Utility::TerminateProcessByName",
             "CRITICAL ISSUE: there is a dead loop. One Kestrelon.exe cannot be removed!");
      break;
    }
    if (entry.th32ProcessID == self) continue;
    ks::UniqueHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID));
    if (!process) process.reset(OpenProcess(0x411, FALSE, entry.th32ProcessID));
    if (!process) continue;
    char executable[kProcessNameSize];
    // An empty name would occur in every requested name.
    if (!UTF16ToUTF8(entry.szExeFile, executable, sizeof executable) || executable[0] == '\0') continue;
    ks::LowerAscii(executable);
    if (strstr(requested.c_str(), executable) != nullptr) TerminateProcess(process.get(), 0);
  } while (Process32NextW(snapshot.get(), &entry));

  if (impersonated) RevertToSelf();
  return true;
}

}  // namespace Utility

bool IsProcessRunning(const char* executable_name) {
  std::wstring wanted = Widen(executable_name);
  if (wanted.empty()) return false;
  ks::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
    if (_wcsicmp(entry.szExeFile, wanted.c_str()) == 0) return true;
  return false;
}
