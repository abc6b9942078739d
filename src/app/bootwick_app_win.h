#pragma once
// The application object: runs the whole life of the starter on the
// user-interface thread and relays the setup worker's notifications to the
// progress window.
#include <windows.h>

#include "setup/setup_handler_win.h"
#include "setup/setup_interface.h"

class BootwickDialog;
class MyConfigure;
class MyLog;

class BootwickApp : public SetupInterface {
 public:
  BootwickApp();

  // Does the run; always false (there is no message loop of the
  // application's own: the process ends when this returns).
  bool InitInstance(HINSTANCE instance, const wchar_t* command_line);

  // Posts to the progress window, never waits. A text that cannot be
  // delivered (no window, or the window has ended) is freed here.
  void Notify(int code, uintptr_t first, intptr_t second) override;

 private:
  // Never called: the object lives until the process ends (a worker that
  // outlived the window may still notify), so it is made with new and kept.
  ~BootwickApp() override;

  bool StartLog();
  void StartAccessCache();
  void RegisterProtocolFromFileName();
  // Runs the window until it is closed; with no meeting found it only shows
  // that the setup could not start.
  void RunSetup(HINSTANCE instance, bool meeting_found);
  // Until the worker has something to show, has ended, or a moment has
  // passed: see RunSetup.
  void WaitForSomethingToShow();
  void DiscardUndeliveredNotifications();
  // The worker has handed off (or stopped) and has nothing left to start.
  bool FlowIsOver();
  // The worker's last act on the launch road was to close the window.
  bool ClosedByFlow();

  SetupHandler* m_pSetupHandler;
  BootwickDialog* m_pBootwickDialog;
  MyLog* m_pMyLog;
  MyConfigure* m_pMyConfigure;
  CRITICAL_SECTION m_oWindowLock;  // guards m_bWindowGone against posts in flight
  bool m_bWindowGone;
  bool m_bClosedByFlow;  // the worker closed the window (guarded by m_oWindowLock)
  HANDLE m_hNotified;    // set once the worker has notified anything
  char m_sSetting[SetupHandler::kSettingsTextSize];
};
