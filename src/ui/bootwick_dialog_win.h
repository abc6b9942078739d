#pragma once
// The progress window: a small dark always-on-top panel run modally on the
// main thread; the setup worker reaches it only through posted messages.
#include <windows.h>

#include <vector>

#include "ui/progress_ctrl_win.h"
#include "ui/style_button_win.h"
#include "ui/taskbar_progress_win.h"

class BootwickDialog {
 public:
  static const COLORREF kBackgroundColour = RGB(48, 54, 64);
  static const COLORREF kTextColour = RGB(255, 255, 255);
  static const COLORREF kOuterFrameColour = RGB(172, 168, 163);
  static const COLORREF kInnerFrameColour = RGB(48, 54, 64);

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
  // Ends it without making it (the flow closed it first): it takes nothing
  // more, and what was kept for it is freed.
  void EndWithoutWindow();

  // The window while it runs, else null.
  HWND GetSafeHwnd() const;

  // Hands a worker notification to the window from any thread, never waiting.
  // Notifications that arrive before the window exists are kept and posted,
  // in order, as soon as it does. False once the window has ended (or the
  // post failed): the notification's text then still belongs to the caller.
  // Otherwise the window frees it, also when it ends before handling it.
  bool PostNotification(UINT code, WPARAM first, LPARAM second);

 private:
  enum class WindowState { kNotCreated, kLive, kEnded };
  struct Notification {
    UINT code;
    WPARAM first;
    LPARAM second;
  };

  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void OnInitDialog();
  void PlaceOnTopAndCentre();
  void PaintFrame(HDC dc);
  HBRUSH OnControlColour(HDC dc, HWND control);
  void OnNotification(UINT code, WPARAM first, LPARAM second);
  void ShowMessageLayout(const wchar_t* text);
  void ShowProgressLayout(const wchar_t* text);
  void UpdateValues(const char* text);
  void ShowProgressGroup(bool show);
  void SetControlText(int id, const wchar_t* text);
  void Close(INT_PTR result);
  void OnDestroy();
  static void FreeText(UINT code, WPARAM first);

  HINSTANCE m_hInstance;
  HWND m_hWnd;
  StyleButton m_oCloseButton;
  ProgressCtrl m_oProgressCtrl;
  TaskbarProgress m_oTaskbarProgress;
  HBRUSH m_hBackgroundBrush;
  HICON m_hIcon;
  HICON m_hSmallIcon;
  HICON m_hEditionIcon;
  float m_fScale;
  RECT m_oStatusLineRect;

  // Guards the window's life as the posting threads see it.
  mutable CRITICAL_SECTION m_oPostLock;
  WindowState m_eState;
  std::vector<Notification> m_oPending;
};
