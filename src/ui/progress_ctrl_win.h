#pragma once
// The download bar: a common progress-bar control whose painting is replaced
// by a flat white track and a grey fill from the left. It is still driven
// with the standard progress-bar messages.
#include <windows.h>

class ProgressCtrl {
 public:
  ProgressCtrl();
  ~ProgressCtrl();
  ProgressCtrl(const ProgressCtrl&) = delete;
  ProgressCtrl& operator=(const ProgressCtrl&) = delete;

  // Takes over the painting of `control`; the binding ends with the control.
  bool Bind(HWND control);
  HWND GetSafeHwnd() const { return m_hWnd; }

  void SetRange(int low, int high);
  void SetPos(int position);

  static const COLORREF kTrackColour = RGB(255, 255, 255);
  static const COLORREF kFillColour = RGB(190, 190, 190);

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR id, DWORD_PTR data);
  void Paint(HDC dc);

  HWND m_hWnd;
};
