#pragma once
// The close button: an owner-drawn button showing one icon on a light face.
// A press that turns into a drag is handed to the parent window, so the
// window can be moved by its close button as well.
#include <windows.h>

class StyleButton {
 public:
  StyleButton();
  ~StyleButton();
  StyleButton(const StyleButton&) = delete;
  StyleButton& operator=(const StyleButton&) = delete;

  // Makes `control` owner-drawn and follows its mouse input.
  bool Bind(HWND control);
  HWND GetSafeHwnd() const { return m_hWnd; }

  // Loads the icon resource (at its own size) and repaints.
  bool SetIcon(HINSTANCE instance, int resource_id);

  // For the parent's WM_DRAWITEM.
  void DrawItem(const DRAWITEMSTRUCT& item) const;

  static const COLORREF kFaceColour = RGB(220, 217, 213);

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR id, DWORD_PTR data);
  void ForwardToParent(UINT message, WPARAM wparam, LPARAM lparam) const;

  HWND m_hWnd;
  HICON m_hIcon;
  int m_iIconWidth;
  int m_iIconHeight;
  bool m_bPressed;       // the left button went down on the button
  POINT m_oPressPoint;   // where, in the button's coordinates
};
