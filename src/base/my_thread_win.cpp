#include "base/my_thread_win.h"

#include <process.h>
#include <winsock2.h>

#include "base/error_text.h"
#include "base/log_api.h"
#include "crash/crash_handler.h"

MyThread::MyThread()
    : m_hStartedEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_hFinishedEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_bRaisePriority(true),
      m_hThread(nullptr),
      m_uThreadId(0) {}

MyThread::~MyThread() {
  // Neither waits for nor stops the thread: owners wait for the finished event.
  if (m_hThread != nullptr) CloseHandle(m_hThread);
  if (m_hFinishedEvent != nullptr) CloseHandle(m_hFinishedEvent);
  if (m_hStartedEvent != nullptr) CloseHandle(m_hStartedEvent);
}

HANDLE MyThread::Start() {
  uintptr_t handle = _beginthreadex(nullptr, 0, &MyThread::ThreadFunc, this, 0, &m_uThreadId);
  m_hThread = reinterpret_cast<HANDLE>(handle);
  return m_hThread;
}

unsigned __stdcall MyThread::ThreadFunc(void* argument) {
  MyThread* self = static_cast<MyThread*>(argument);
  InstallCrashHandler("Default");
  if (self->m_bRaisePriority && !SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL)) {
    int code = WSAGetLastError();
    KS_LOG(0, "MyThread::ThreadFunc()", "SetThreadPriority() failed, error code: %d, error: %s", code,
           GetErrorText(code));
  }
  SetEvent(self->m_hStartedEvent);
  self->Run();
  SetEvent(self->m_hFinishedEvent);
  return 0;
}
