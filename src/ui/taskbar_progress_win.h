#pragma once
// The download's percentage on the window's taskbar button, as Windows
// programs that download show it: normal while it runs, the error state
// with the failure text, nothing once the window closes. Where the taskbar
// offers no such interface (older systems, some desktops) nothing is shown
// and nothing else changes.
#include <windows.h>
#include <shobjidl.h>

class TaskbarProgress {
 public:
  TaskbarProgress();
  ~TaskbarProgress();
  TaskbarProgress(const TaskbarProgress&) = delete;
  TaskbarProgress& operator=(const TaskbarProgress&) = delete;

  // The taskbar announces a button (a new one, too, after it restarted) with
  // a registered message: the state is shown on it again.
  bool IsButtonCreatedMessage(UINT message) const { return m_uButtonCreated != 0 && message == m_uButtonCreated; }
  void OnButtonCreated(HWND window) { Show(window); }

  void ShowPercent(HWND window, int percent);
  void ShowFailure(HWND window);
  // Takes the progress off the button and lets the interface go (when the
  // window is being destroyed).
  void Clear(HWND window);

 private:
  enum class State { kNone, kNormal, kError };
  void Show(HWND window);

  UINT m_uButtonCreated;
  bool m_bTried;  // the interface was asked for, once
  bool m_bComStarted;
  ITaskbarList3* m_pTaskbar;
  State m_eState;
  int m_iPercent;
};
