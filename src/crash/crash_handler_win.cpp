#include "crash/crash_handler.h"

#include <windows.h>

#include <cwchar>

#include "crash/error_report_win.h"
#include "crash/minidump_win.h"
#include "crash/module_list_win.h"
#include "crash/program_folder_win.h"

namespace {

// Cleared by the first crash: a crash while it is handled (in the handler or
// on another thread) gets the platform's default handling. Exchanged
// atomically so two threads crashing together cannot both take it.
volatile LONG g_lArmed = 1;

const size_t kOwnPathCapacity = 518;
const char kModuleListName[] = "ERRORLOG.TXT";

wchar_t g_wsReportPath[kOwnPathCapacity + 32];

// `name` in the running program's folder; the bare name (the current
// folder) when that folder cannot be had.
void PathBesideProgram(const wchar_t* name) {
  ProgramFolder(g_wsReportPath, kOwnPathCapacity);
  wchar_t* component = g_wsReportPath + wcslen(g_wsReportPath);
  size_t room = sizeof g_wsReportPath / sizeof g_wsReportPath[0] - static_cast<size_t>(component - g_wsReportPath);
  wcsncpy(component, name, room - 1);
  component[room - 1] = L'\0';
}

HANDLE CreateReportFile(const wchar_t* name) {
  PathBesideProgram(name);
  return CreateFileW(g_wsReportPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* exception) {
  DWORD last_error = GetLastError();
  if (InterlockedExchange(&g_lArmed, 0) == 0) return EXCEPTION_CONTINUE_SEARCH;

  HANDLE module_list = CreateReportFile(L"ERRORLOG.TXT");
  if (module_list == INVALID_HANDLE_VALUE) {
    OutputDebugStringW(L"Error creating exception report\r\n");
    return EXCEPTION_CONTINUE_SEARCH;
  }
  WriteModuleList(module_list, kModuleListName);
  CloseHandle(module_list);

  HANDLE dump = CreateReportFile(L"CRASH.DMP");
  if (dump != INVALID_HANDLE_VALUE) {
    WriteMiniDump(dump, exception);
    CloseHandle(dump);
  }

  // A debugger gets the exception itself; the report is only for crashes in
  // the field.
  if (IsDebuggerPresent()) return EXCEPTION_CONTINUE_SEARCH;
  SendErrorReport(last_error);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

// Every installation sets the same filter; the label names the kind of report
// and only "Default" exists.
void InstallCrashHandler(const char* /*report_label*/) { SetUnhandledExceptionFilter(&CrashFilter); }
