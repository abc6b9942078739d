#pragma once
// The progress window: a small dark always-on-top panel run modally on the
// main thread; the setup worker reaches it only through posted messages.
#include <windows.h>

class BootwickDialog {
 public:
  BootwickDialog();
  ~BootwickDialog();
  BootwickDialog(const BootwickDialog&) = delete;
  BootwickDialog& operator=(const BootwickDialog&) = delete;

  // Registers "KSSetupWindow" from the system dialog class; the template names it.
  static bool RegisterWindowClass(HINSTANCE instance);

  // The small icon of the meeting's edition, shown beside the window's own.
  void SetEditionIcon(HICON icon);

  // Runs the window modally; returns when it ends.
  INT_PTR DoModal();

  // The window while it runs, else null.
  HWND GetSafeHwnd() const;

 private:
  HWND m_hWnd;
  HICON m_hEditionIcon;
};
