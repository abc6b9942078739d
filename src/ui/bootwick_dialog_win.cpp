#include "ui/bootwick_dialog_win.h"

#include <cwchar>

#include "base/text.h"
#include "base/wide_text.h"
#include "setup/setup_interface.h"
#include "ui/progress_layout.h"
#include "ui/progress_values.h"
#include "ui/resources/resource.h"

namespace {
const wchar_t kWindowClassName[] = L"KSSetupWindow";
const wchar_t kSystemDialogClass[] = L"#32770";
const UINT kMoveByMouse = 0xF011;

const int kProgressGroup[] = {IDC_PROGRESS,        IDC_PERCENT,         IDC_SPEED_LABEL,    IDC_SPEED_VALUE,
                              IDC_SPEED_UNIT,      IDC_REMAINING_LABEL, IDC_REMAINING_VALUE, IDC_REMAINING_UNIT};

// The worker's UTF-8 text as UTF-16, at most `capacity` characters with the
// zero. The sender's buffer is read no further than its allocated size.
void WidenNotificationText(WPARAM first, wchar_t* output, int capacity) {
  output[0] = L'\0';
  const char* text = reinterpret_cast<const char*>(first);
  if (text == nullptr) return;
  char bounded[kNotificationTextSize];
  size_t length = ks::BoundedLength(text, sizeof bounded - 1);
  ks::CopyBytes(bounded, sizeof bounded, text, length);
  if (!UTF8ToUTF16(bounded, output, capacity)) output[0] = L'\0';
}

void FrameRoundRect(HDC dc, const LayoutRect& rect, COLORREF colour) {
  HRGN region = CreateRoundRectRgn(rect.left, rect.top, rect.right, rect.bottom, 2, 2);
  HBRUSH brush = CreateSolidBrush(colour);
  if (region != nullptr && brush != nullptr) FrameRgn(dc, region, brush, 1, 1);
  if (brush != nullptr) DeleteObject(brush);
  if (region != nullptr) DeleteObject(region);
}
}  // namespace

BootwickDialog::BootwickDialog()
    : m_hInstance(GetModuleHandleW(nullptr)),
      m_hWnd(nullptr),
      m_hBackgroundBrush(CreateSolidBrush(kBackgroundColour)),
      m_hIcon(nullptr),
      m_hSmallIcon(nullptr),
      m_hEditionIcon(nullptr),
      m_fScale(1.0f),
      m_oStatusLineRect{0, 0, 0, 0},
      m_eState(WindowState::kNotCreated) {
  InitializeCriticalSection(&m_oPostLock);
  // Shared icons: the system keeps them for the life of the module.
  m_hIcon = static_cast<HICON>(
      LoadImageW(m_hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  m_hSmallIcon = static_cast<HICON>(LoadImageW(m_hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                               LR_SHARED));
}

BootwickDialog::~BootwickDialog() {
  // Notifications still waiting for a window that never came.
  for (const Notification& pending : m_oPending) FreeText(pending.code, pending.first);
  if (m_hBackgroundBrush != nullptr) DeleteObject(m_hBackgroundBrush);
  DeleteCriticalSection(&m_oPostLock);
}

bool BootwickDialog::RegisterWindowClass(HINSTANCE instance) {
  WNDCLASSEXW window_class;
  window_class.cbSize = sizeof window_class;
  if (!GetClassInfoExW(nullptr, kSystemDialogClass, &window_class)) return false;
  window_class.hInstance = instance;
  window_class.lpszClassName = kWindowClassName;
  if (RegisterClassExW(&window_class) != 0) return true;
  // Registered by an earlier call in this process: still usable.
  return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void BootwickDialog::SetEditionIcon(HICON icon) { m_hEditionIcon = icon; }

INT_PTR BootwickDialog::DoModal() {
  EnterCriticalSection(&m_oPostLock);
  if (m_eState == WindowState::kEnded) m_eState = WindowState::kNotCreated;
  LeaveCriticalSection(&m_oPostLock);

  INT_PTR result = DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(IDD_BOOTWICK_DIALOG), nullptr,
                                   &BootwickDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  EndWithoutWindow();  // also when the window could not be created at all
  return result;
}

void BootwickDialog::EndWithoutWindow() {
  std::vector<Notification> orphaned;
  EnterCriticalSection(&m_oPostLock);
  m_eState = WindowState::kEnded;
  m_hWnd = nullptr;
  orphaned.swap(m_oPending);
  LeaveCriticalSection(&m_oPostLock);
  for (const Notification& pending : orphaned) FreeText(pending.code, pending.first);
}

HWND BootwickDialog::GetSafeHwnd() const {
  EnterCriticalSection(&m_oPostLock);
  HWND window = m_eState == WindowState::kLive ? m_hWnd : nullptr;
  LeaveCriticalSection(&m_oPostLock);
  return window;
}

bool BootwickDialog::PostNotification(UINT code, WPARAM first, LPARAM second) {
  bool accepted = false;
  EnterCriticalSection(&m_oPostLock);
  switch (m_eState) {
    case WindowState::kNotCreated:
      m_oPending.push_back(Notification{code, first, second});
      accepted = true;
      break;
    case WindowState::kLive:
      accepted = PostMessageW(m_hWnd, code, first, second) != FALSE;
      break;
    case WindowState::kEnded:
      break;
  }
  LeaveCriticalSection(&m_oPostLock);
  return accepted;
}

void BootwickDialog::FreeText(UINT code, WPARAM first) {
  if (NotificationCarriesText(static_cast<int>(code))) FreeNotificationText(reinterpret_cast<char*>(first));
}

INT_PTR CALLBACK BootwickDialog::DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  BootwickDialog* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<BootwickDialog*>(lparam);
    SetWindowLongPtrW(window, DWLP_USER, lparam);
    self->m_hWnd = window;
  } else {
    self = reinterpret_cast<BootwickDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  }
  if (self == nullptr) return FALSE;
  return self->HandleMessage(message, wparam, lparam);
}

INT_PTR BootwickDialog::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (m_oTaskbarProgress.IsButtonCreatedMessage(message)) {
    m_oTaskbarProgress.OnButtonCreated(m_hWnd);
    return TRUE;
  }
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<INT_PTR>(OnControlColour(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam)));
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(m_hWnd, &paint);
      if (dc != nullptr) {
        PaintFrame(dc);
        EndPaint(m_hWnd, &paint);
      }
      return TRUE;
    }
    case WM_PRINTCLIENT:
      PaintFrame(reinterpret_cast<HDC>(wparam));
      return TRUE;
    case WM_DRAWITEM:
      if (wparam == IDC_CLOSE_BUTTON) {
        m_oCloseButton.DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
        return TRUE;
      }
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_CLOSE_BUTTON:
          if (HIWORD(wparam) == BN_CLICKED) Close(IDCANCEL);
          return TRUE;
        case IDOK:
        case IDCANCEL:
          Close(LOWORD(wparam));
          return TRUE;
        default:
          return FALSE;
      }
    case WM_LBUTTONDOWN: {
      POINT cursor;
      if (GetCursorPos(&cursor)) SendMessageW(m_hWnd, WM_SYSCOMMAND, kMoveByMouse, MAKELPARAM(cursor.x, cursor.y));
      return TRUE;
    }
    case WM_LBUTTONUP:
      if (GetCapture() == m_hWnd) ReleaseCapture();
      return TRUE;
    case NOTIFY_SHOW_MESSAGE:
    case NOTIFY_SHOW_PROGRESS:
    case NOTIFY_PROGRESS_VALUES:
    case NOTIFY_SHOW_FINAL_MESSAGE:
    case NOTIFY_INIT_FAILED:
    case NOTIFY_CLOSE:
      OnNotification(message, wparam, lparam);
      return TRUE;
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
    default:
      return FALSE;
  }
}

void BootwickDialog::OnInitDialog() {
  m_oCloseButton.Bind(GetDlgItem(m_hWnd, IDC_CLOSE_BUTTON));
  m_oProgressCtrl.Bind(GetDlgItem(m_hWnd, IDC_PROGRESS));

  SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(m_hEditionIcon != nullptr ? m_hEditionIcon : m_hSmallIcon));

  HDC screen = GetDC(nullptr);
  m_fScale = ScaleFromDpi(screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 96);
  if (screen != nullptr) ReleaseDC(nullptr, screen);

  SetWindowTextW(m_hWnd, L"Bootwick");

  HWND status_line = GetDlgItem(m_hWnd, IDC_STATUS_LINE);
  GetWindowRect(status_line, &m_oStatusLineRect);
  MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&m_oStatusLineRect), 2);

  m_oCloseButton.SetIcon(m_hInstance, IDI_CLOSE_BUTTON);
  m_oProgressCtrl.SetRange(0, 100);
  m_oProgressCtrl.SetPos(0);

  PlaceOnTopAndCentre();

  // From now on notifications go straight to the window; the ones that came
  // early go first, in the order they came.
  EnterCriticalSection(&m_oPostLock);
  m_eState = WindowState::kLive;
  for (const Notification& pending : m_oPending) {
    if (!PostMessageW(m_hWnd, pending.code, pending.first, pending.second)) FreeText(pending.code, pending.first);
  }
  m_oPending.clear();
  LeaveCriticalSection(&m_oPostLock);
}

void BootwickDialog::PlaceOnTopAndCentre() {
  const UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW;
  SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, flags);
  SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, flags);

  RECT desktop;
  RECT window;
  GetWindowRect(GetDesktopWindow(), &desktop);
  GetWindowRect(m_hWnd, &window);
  int x = desktop.left + ((desktop.right - desktop.left) - (window.right - window.left)) / 2;
  int y = desktop.top + ((desktop.bottom - desktop.top) - (window.bottom - window.top)) / 2;
  SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void BootwickDialog::PaintFrame(HDC dc) {
  RECT client;
  GetClientRect(m_hWnd, &client);
  LayoutRect rect = {client.left, client.top, client.right, client.bottom};
  FrameRoundRect(dc, OuterFrameRect(rect), kOuterFrameColour);
  FrameRoundRect(dc, InnerFrameRect(rect), kInnerFrameColour);
}

HBRUSH BootwickDialog::OnControlColour(HDC dc, HWND control) {
  int id = control != nullptr && control != m_hWnd ? GetDlgCtrlID(control) : 0;
  if (id >= IDC_PERCENT && id <= IDC_REMAINING_UNIT) {
    SetTextColor(dc, kTextColour);
    SetBkMode(dc, TRANSPARENT);
  }
  return m_hBackgroundBrush;
}

void BootwickDialog::OnNotification(UINT code, WPARAM first, LPARAM second) {
  switch (code) {
    case NOTIFY_SHOW_MESSAGE:
    case NOTIFY_SHOW_FINAL_MESSAGE: {
      wchar_t text[1024];
      WidenNotificationText(first, text, 1024);
      ShowMessageLayout(text);
      if (code == NOTIFY_SHOW_FINAL_MESSAGE && second == FINAL_MESSAGE_FAILURE) m_oTaskbarProgress.ShowFailure(m_hWnd);
      break;
    }
    case NOTIFY_SHOW_PROGRESS: {
      wchar_t text[512];
      WidenNotificationText(first, text, 512);
      ShowProgressLayout(text);
      break;
    }
    case NOTIFY_PROGRESS_VALUES:
      UpdateValues(reinterpret_cast<const char*>(first));
      break;
    case NOTIFY_INIT_FAILED: {
      // Nothing else will come: say so instead of leaving an empty window.
      wchar_t text[128];
      WidenNotificationText(reinterpret_cast<WPARAM>(kInitFailedText), text, 128);
      ShowMessageLayout(text);
      m_oTaskbarProgress.ShowFailure(m_hWnd);
      break;
    }
    case NOTIFY_CLOSE:
      Close(IDCANCEL);
      break;
    default:
      break;
  }
  FreeText(code, first);
}

void BootwickDialog::ShowMessageLayout(const wchar_t* text) {
  ShowProgressGroup(false);
  LayoutRect saved = {m_oStatusLineRect.left, m_oStatusLineRect.top, m_oStatusLineRect.right,
                      m_oStatusLineRect.bottom};
  Placement placement = MessageLayoutPlacement(saved, m_fScale);
  MoveWindow(GetDlgItem(m_hWnd, IDC_STATUS_LINE), placement.x, placement.y, placement.width, placement.height,
             TRUE);
  SetControlText(IDC_STATUS_LINE, text);
}

void BootwickDialog::ShowProgressLayout(const wchar_t* text) {
  ShowProgressGroup(true);
  SetControlText(IDC_STATUS_LINE, text);
  LayoutRect saved = {m_oStatusLineRect.left, m_oStatusLineRect.top, m_oStatusLineRect.right,
                      m_oStatusLineRect.bottom};
  Placement placement = ProgressLayoutPlacement(saved);
  MoveWindow(GetDlgItem(m_hWnd, IDC_STATUS_LINE), placement.x, placement.y, placement.width, placement.height,
             TRUE);
  RedrawWindow(GetDlgItem(m_hWnd, IDC_STATUS_LINE), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
}

void BootwickDialog::UpdateValues(const char* text) {
  ProgressValues values = ParseProgressValues(text, kNotificationTextSize);
  m_oProgressCtrl.SetPos(values.percent);
  m_oTaskbarProgress.ShowPercent(m_hWnd, values.percent);
  wchar_t number[16];
  swprintf(number, sizeof number / sizeof number[0], L"%d%%", values.percent);
  SetControlText(IDC_PERCENT, number);
  swprintf(number, sizeof number / sizeof number[0], L"%d", values.speed_kbps);
  SetControlText(IDC_SPEED_VALUE, number);
  swprintf(number, sizeof number / sizeof number[0], L"%d", values.seconds_remaining);
  SetControlText(IDC_REMAINING_VALUE, number);
}

void BootwickDialog::ShowProgressGroup(bool show) {
  for (int id : kProgressGroup) ShowWindow(GetDlgItem(m_hWnd, id), show ? SW_SHOWNA : SW_HIDE);
}

void BootwickDialog::SetControlText(int id, const wchar_t* text) {
  HWND control = GetDlgItem(m_hWnd, id);
  SetWindowTextW(control, text);
  RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
}

void BootwickDialog::Close(INT_PTR result) { EndDialog(m_hWnd, result); }

// The window's queued notifications would vanish with it; their texts are
// freed here. No new ones can arrive once the state says ended.
void BootwickDialog::OnDestroy() {
  m_oTaskbarProgress.Clear(m_hWnd);
  EnterCriticalSection(&m_oPostLock);
  m_eState = WindowState::kEnded;
  LeaveCriticalSection(&m_oPostLock);
  MSG message;
  while (PeekMessageW(&message, m_hWnd, NOTIFY_SHOW_MESSAGE, NOTIFY_CLOSE, PM_REMOVE))
    FreeText(message.message, message.wParam);
}
