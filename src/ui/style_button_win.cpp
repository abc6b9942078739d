#include "ui/style_button_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cstdlib>

#include "base/system_api_win.h"
#include "ui/progress_layout.h"

namespace {
const UINT_PTR kSubclassId = 1001;
}

StyleButton::StyleButton()
    : m_hWnd(nullptr), m_hIcon(nullptr), m_iIconWidth(0), m_iIconHeight(0), m_bPressed(false), m_oPressPoint{0, 0} {}

StyleButton::~StyleButton() {
  if (m_hWnd != nullptr && IsWindow(m_hWnd)) ks::sys::RemoveWindowSubclass(m_hWnd, &StyleButton::SubclassProc, kSubclassId);
  if (m_hIcon != nullptr) DestroyIcon(m_hIcon);
}

bool StyleButton::Bind(HWND control) {
  if (control == nullptr) return false;
  LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
  SetWindowLongPtrW(control, GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
  if (!ks::sys::SetWindowSubclass(control, &StyleButton::SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
    return false;
  m_hWnd = control;
  InvalidateRect(m_hWnd, nullptr, TRUE);
  return true;
}

bool StyleButton::SetIcon(HINSTANCE instance, int resource_id) {
  HICON loaded = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(resource_id), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR));
  if (loaded == nullptr) return false;
  ICONINFO info;
  if (!GetIconInfo(loaded, &info)) {
    DestroyIcon(loaded);
    return false;
  }
  BITMAP bitmap;
  HBITMAP shape = info.hbmColor != nullptr ? info.hbmColor : info.hbmMask;
  int width = 0;
  int height = 0;
  if (GetObjectW(shape, sizeof bitmap, &bitmap) != 0) {
    width = bitmap.bmWidth;
    // A mask-only icon stacks its AND and XOR halves.
    height = info.hbmColor != nullptr ? bitmap.bmHeight : bitmap.bmHeight / 2;
  }
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);

  if (m_hIcon != nullptr) DestroyIcon(m_hIcon);
  m_hIcon = loaded;
  m_iIconWidth = width;
  m_iIconHeight = height;
  if (m_hWnd != nullptr) InvalidateRect(m_hWnd, nullptr, TRUE);
  return true;
}

void StyleButton::DrawItem(const DRAWITEMSTRUCT& item) const {
  RECT face = item.rcItem;
  HBRUSH brush = CreateSolidBrush(kFaceColour);
  FillRect(item.hDC, &face, brush);
  DeleteObject(brush);
  if (m_hIcon == nullptr) return;
  LayoutPoint origin =
      CentredIconOrigin(face.right - face.left, face.bottom - face.top, m_iIconWidth, m_iIconHeight);
  DrawIconEx(item.hDC, face.left + origin.x, face.top + origin.y, m_hIcon, m_iIconWidth, m_iIconHeight, 0, nullptr,
             DI_NORMAL);
}

// The parent reads a forwarded press or release at the point in screen
// coordinates.
void StyleButton::ForwardToParent(UINT message, WPARAM wparam, LPARAM lparam) const {
  HWND parent = GetParent(m_hWnd);
  if (parent == nullptr) return;
  POINT point = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  ClientToScreen(m_hWnd, &point);
  PostMessageW(parent, message, wparam, MAKELPARAM(point.x, point.y));
}

LRESULT CALLBACK StyleButton::SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                           UINT_PTR /*id*/, DWORD_PTR data) {
  StyleButton* self = reinterpret_cast<StyleButton*>(data);
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      // Handed to the parent only once the press becomes a drag: the parent
      // starts a window move, whose loop takes the mouse, and a plain click
      // must still reach the button.
      self->m_bPressed = true;
      self->m_oPressPoint = POINT{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
      break;
    case WM_MOUSEMOVE:
      if (self->m_bPressed && (wparam & MK_LBUTTON) != 0 &&
          (std::abs(GET_X_LPARAM(lparam) - self->m_oPressPoint.x) > GetSystemMetrics(SM_CXDRAG) ||
           std::abs(GET_Y_LPARAM(lparam) - self->m_oPressPoint.y) > GetSystemMetrics(SM_CYDRAG))) {
        self->m_bPressed = false;
        // Losing the capture lets the button go without a click.
        if (GetCapture() == window) ReleaseCapture();
        self->ForwardToParent(WM_LBUTTONDOWN, MK_LBUTTON,
                              MAKELPARAM(self->m_oPressPoint.x, self->m_oPressPoint.y));
        return 0;
      }
      break;
    case WM_LBUTTONUP:
      self->m_bPressed = false;
      self->ForwardToParent(WM_LBUTTONUP, wparam, lparam);
      break;
    case WM_NCDESTROY:
      ks::sys::RemoveWindowSubclass(window, &StyleButton::SubclassProc, kSubclassId);
      self->m_hWnd = nullptr;
      break;
    default:
      break;
  }
  LRESULT result = ks::sys::DefSubclassProc(window, message, wparam, lparam);
  if (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP) InvalidateRect(window, nullptr, FALSE);
  return result;
}
