#pragma once
// Base of the starter's worker threads: one system thread, an event when it has
// begun and one when its work is done, and the option to run time-critical.
#include <windows.h>

class MyThread {
 public:
  MyThread();
  virtual ~MyThread();
  MyThread(const MyThread&) = delete;
  MyThread& operator=(const MyThread&) = delete;

  // Creates the thread; the handle, or null when no thread could be created
  // (the system's error then stays for GetLastError). Virtual so that what
  // an owner does without its thread can be exercised.
  virtual HANDLE Start();

  // The thread's work, run on the new thread only.
  virtual bool Run() = 0;

  void SetRaisePriority(bool raise) { m_bRaisePriority = raise; }
  HANDLE GetStartedEvent() const { return m_hStartedEvent; }
  HANDLE GetFinishedEvent() const { return m_hFinishedEvent; }
  HANDLE GetThreadHandle() const { return m_hThread; }
  unsigned GetThreadId() const { return m_uThreadId; }

 private:
  static unsigned __stdcall ThreadFunc(void* argument);

  HANDLE m_hStartedEvent;
  HANDLE m_hFinishedEvent;
  bool m_bRaisePriority;
  HANDLE m_hThread;
  unsigned m_uThreadId;
};
