// A small program that starts like the starter (crash handler, socket
// library, log in the temporary folder) and then crashes on purpose, so the
// crash tests can look at what the handler leaves behind.
//
//   ks_crasher main     access violation on the main thread
//   ks_crasher thread   access violation on a worker thread
//   ks_crasher nolog    as main, but without a log
//   ks_crasher second   the main thread crashes; a worker crashes again once
//                       the report server has seen the report ("POSTED"
//                       appears beside the program)
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/log_api.h"
#include "base/my_log_win.h"
#include "base/my_thread_win.h"
#include "crash/crash_handler.h"

namespace {

const DWORD kSecondCrashCode = 0xE0000002;

int* volatile g_pNowhere = nullptr;

// A function of its own, never folded into its callers, so the walked
// stack of its crash shows it and the caller beneath it.
#if defined(_MSC_VER)
#define KS_NOINLINE __declspec(noinline)
#else
#define KS_NOINLINE __attribute__((noinline))
#endif
KS_NOINLINE void AccessViolation() { *g_pNowhere = 1; }

std::wstring BesideProgram(const wchar_t* name) {
  wchar_t path[1024];
  DWORD length = GetModuleFileNameW(nullptr, path, 1024);
  if (length == 0 || length >= 1024) return name;
  std::wstring result(path, length);
  return result.substr(0, result.rfind(L'\\') + 1) + name;
}

class CrashingThread : public MyThread {
 public:
  bool Run() override {
    KS_LOG(0, "CrashingThread::Run()", "crashing on the worker thread");
    AccessViolation();
    return true;
  }
};

// Waits (bounded) for the report server's mark, then crashes again while the
// first crash is still being handled.
class SecondCrashThread : public MyThread {
 public:
  bool Run() override {
    std::wstring marker = BesideProgram(L"POSTED");
    for (int i = 0; i < 3000 && GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(10);
    RaiseException(kSecondCrashCode, 0, 0, nullptr);
    return true;
  }
};

void StartLog() {
  if (!MyLog::Initialize("KSSetup") || MyLog::GetInstance() == nullptr) return;
  MyLog::GetInstance()->SetFileName("KSSetup.txt");
  if (!MyLog::GetInstance()->GetWorkingDirectory()) printf("log not created\n");
}

}  // namespace

int main(int argc, char** argv) {
  InstallCrashHandler("Default");
  const char* mode = argc > 1 ? argv[1] : "main";
  WSADATA wsa_data;
  WSAStartup(MAKEWORD(1, 1), &wsa_data);
  if (strcmp(mode, "nolog") != 0) StartLog();
  KS_LOG(0, "Crasher::main()", "crasher ready, mode %s", mode);
  printf("debugger=%s\n", IsDebuggerPresent() ? "Y" : "N");
  fflush(stdout);

  if (strcmp(mode, "thread") == 0) {
    CrashingThread* worker = new CrashingThread();
    worker->SetRaisePriority(false);
    worker->Start();
    WaitForSingleObject(worker->GetFinishedEvent(), 60000);
    printf("worker came back\n");
    return 3;
  }
  if (strcmp(mode, "second") == 0) {
    SecondCrashThread* worker = new SecondCrashThread();
    worker->SetRaisePriority(false);
    worker->Start();
    WaitForSingleObject(worker->GetStartedEvent(), 60000);
  }
  AccessViolation();
  printf("survived\n");
  return 2;
}
