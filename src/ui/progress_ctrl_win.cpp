#include "ui/progress_ctrl_win.h"

#include <commctrl.h>

#include "base/system_api_win.h"
#include "ui/progress_layout.h"

namespace {
const UINT_PTR kSubclassId = 1000;
}

ProgressCtrl::ProgressCtrl() : m_hWnd(nullptr) {}

ProgressCtrl::~ProgressCtrl() {
  if (m_hWnd != nullptr && IsWindow(m_hWnd)) ks::sys::RemoveWindowSubclass(m_hWnd, &ProgressCtrl::SubclassProc, kSubclassId);
}

bool ProgressCtrl::Bind(HWND control) {
  if (control == nullptr) return false;
  if (!ks::sys::SetWindowSubclass(control, &ProgressCtrl::SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
    return false;
  m_hWnd = control;
  return true;
}

void ProgressCtrl::SetRange(int low, int high) {
  if (m_hWnd != nullptr) SendMessageW(m_hWnd, PBM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
}

void ProgressCtrl::SetPos(int position) {
  if (m_hWnd != nullptr) SendMessageW(m_hWnd, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void ProgressCtrl::Paint(HDC dc) {
  RECT window;
  GetWindowRect(m_hWnd, &window);
  RECT track = {0, 0, window.right - window.left, window.bottom - window.top};

  HBRUSH track_brush = CreateSolidBrush(kTrackColour);
  FillRect(dc, &track, track_brush);
  DeleteObject(track_brush);

  PBRANGE range = {0, 0};
  SendMessageW(m_hWnd, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  int position = static_cast<int>(SendMessageW(m_hWnd, PBM_GETPOS, 0, 0));
  int fill_width = ProgressFillWidth(range.iLow, range.iHigh, position, track.right);
  if (fill_width > 0) {
    RECT fill = {0, 0, fill_width, track.bottom};
    HBRUSH fill_brush = CreateSolidBrush(kFillColour);
    FillRect(dc, &fill, fill_brush);
    DeleteObject(fill_brush);
  }
}

LRESULT CALLBACK ProgressCtrl::SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                            UINT_PTR /*id*/, DWORD_PTR data) {
  ProgressCtrl* self = reinterpret_cast<ProgressCtrl*>(data);
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the paint covers every pixel
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      if (dc != nullptr) {
        self->Paint(dc);
        EndPaint(window, &paint);
      }
      return 0;
    }
    case WM_PRINTCLIENT:
      self->Paint(reinterpret_cast<HDC>(wparam));
      return 0;
    case WM_NCDESTROY:
      ks::sys::RemoveWindowSubclass(window, &ProgressCtrl::SubclassProc, kSubclassId);
      self->m_hWnd = nullptr;
      break;
    default:
      break;
  }
  return ks::sys::DefSubclassProc(window, message, wparam, lparam);
}
