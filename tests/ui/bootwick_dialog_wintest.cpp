#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>

#include "base/wide_text.h"
#include "setup/setup_interface.h"
#include "ui/bootwick_dialog_win.h"
#include "ui/resources/resource.h"
#include "ui/window_test_util_win.h"

using uitest::ClientCapture;
using uitest::ControlRect;
using uitest::ControlText;
using uitest::ModalScript;
using uitest::PostText;

namespace {

const int kProgressGroup[] = {IDC_PROGRESS,        IDC_PERCENT,         IDC_SPEED_LABEL,    IDC_SPEED_VALUE,
                              IDC_SPEED_UNIT,      IDC_REMAINING_LABEL, IDC_REMAINING_VALUE, IDC_REMAINING_UNIT};
const COLORREF kBackground = RGB(48, 54, 64);
const COLORREF kTrack = RGB(255, 255, 255);
const COLORREF kFill = RGB(190, 190, 190);

std::string ColourText(COLORREF colour) {
  char text[32];
  snprintf(text, sizeof text, "RGB(%d, %d, %d)", GetRValue(colour), GetGValue(colour), GetBValue(colour));
  return text;
}
#define EXPECT_COLOUR(expected, actual) EXPECT_EQ(ColourText(expected), ColourText(actual))

// KS_WINDOW_CAPTURE names a folder where the window's look is kept as .bmp
// files, for a person to see.
void SaveCaptureIfAsked(const ClientCapture& capture, const char* name) {
  const char* folder = getenv("KS_WINDOW_CAPTURE");
  if (folder != nullptr && *folder != '\0') capture.SaveBmp(std::string(folder) + "\\" + name + ".bmp");
}

bool IsVisible(HWND window, int id) { return IsWindowVisible(GetDlgItem(window, id)) != FALSE; }

void ExpectProgressGroupVisible(HWND window, bool visible) {
  for (int id : kProgressGroup) EXPECT_EQ(visible, IsVisible(window, id)) << "control " << id;
  EXPECT_TRUE(IsVisible(window, IDC_STATUS_LINE));
  EXPECT_TRUE(IsVisible(window, IDC_CLOSE_BUTTON));
}

class BootwickDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(BootwickDialog::RegisterWindowClass(GetModuleHandleW(nullptr)));
    live_texts_ = LiveNotificationTexts();
  }
  // Every text handed to the window came back, whatever became of it.
  void TearDown() override { EXPECT_EQ(live_texts_, LiveNotificationTexts()); }

  // The status line as the template lays it out, in client pixels.
  static RECT TemplateStatusLine(HWND window) {
    RECT rect = {4, 4, 4 + 240, 4 + 10};
    MapDialogRect(window, &rect);
    return rect;
  }

  int live_texts_ = 0;
};

TEST_F(BootwickDialogTest, FollowsTheWorkerThroughADownload) {
  BootwickDialog dialog;
  ModalScript script(&dialog);
  RECT saved = {};

  script.Then([&](HWND window) {
    // As the template leaves it before the first notification.
    wchar_t name[64];
    GetClassNameW(window, name, 64);
    EXPECT_STREQ(L"KSSetupWindow", name);
    wchar_t title[64];
    GetWindowTextW(window, title, 64);
    EXPECT_STREQ(L"Bootwick", title);
    LONG_PTR ex_style = GetWindowLongPtrW(window, GWL_EXSTYLE);
    EXPECT_NE(0, ex_style & WS_EX_TOPMOST);
    EXPECT_NE(0, ex_style & WS_EX_APPWINDOW);
    EXPECT_EQ(0, GetWindowLongPtrW(window, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME));
    EXPECT_EQ(BS_OWNERDRAW, GetWindowLongPtrW(GetDlgItem(window, IDC_CLOSE_BUTTON), GWL_STYLE) & BS_TYPEMASK);
    EXPECT_NE(nullptr, reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0)));

    EXPECT_EQ(L"", ControlText(window, IDC_STATUS_LINE));
    EXPECT_EQ(L"Speed:", ControlText(window, IDC_SPEED_LABEL));
    EXPECT_EQ(L"100", ControlText(window, IDC_SPEED_VALUE));
    EXPECT_EQ(L"kbps,", ControlText(window, IDC_SPEED_UNIT));
    EXPECT_EQ(L"Time Remaining:", ControlText(window, IDC_REMAINING_LABEL));
    EXPECT_EQ(L"25", ControlText(window, IDC_REMAINING_VALUE));
    EXPECT_EQ(L"seconds", ControlText(window, IDC_REMAINING_UNIT));
    EXPECT_EQ(L"", ControlText(window, IDC_PERCENT));
    EXPECT_EQ(0, SendDlgItemMessageW(window, IDC_PROGRESS, PBM_GETPOS, 0, 0));
    EXPECT_EQ(100, SendDlgItemMessageW(window, IDC_PROGRESS, PBM_GETRANGE, FALSE, 0));

    saved = TemplateStatusLine(window);
    RECT now = ControlRect(window, IDC_STATUS_LINE);
    EXPECT_TRUE(EqualRect(&saved, &now));
    PostText(&dialog, NOTIFY_SHOW_MESSAGE, "Connecting ...");
  });

  script.Then([&](HWND window) {
    EXPECT_EQ(L"Connecting ...", ControlText(window, IDC_STATUS_LINE));
    ExpectProgressGroupVisible(window, false);
    // 96 dpi: x = l + 15, y = t + 10, width = r, height = b + 30.
    RECT line = ControlRect(window, IDC_STATUS_LINE);
    EXPECT_EQ(saved.left + 15, line.left);
    EXPECT_EQ(saved.top + 10, line.top);
    EXPECT_EQ(saved.right, line.right - line.left);
    EXPECT_EQ(saved.bottom + 30, line.bottom - line.top);

    ClientCapture capture(window);
    EXPECT_COLOUR(kBackground, capture.At(capture.width() / 2, capture.height() - 4));
    EXPECT_COLOUR(kBackground, capture.At(capture.width() - 60, line.bottom - 2));
    EXPECT_COLOUR(RGB(172, 168, 163), capture.At(capture.width() / 2, 0));
    EXPECT_COLOUR(RGB(172, 168, 163), capture.At(0, capture.height() / 2));

    PostText(&dialog, NOTIFY_SHOW_PROGRESS, "Downloading Kestrelon ...");
    PostText(&dialog, NOTIFY_PROGRESS_VALUES, "45,120,30");
  });

  script.Then([&](HWND window) {
    EXPECT_EQ(L"Downloading Kestrelon ...", ControlText(window, IDC_STATUS_LINE));
    ExpectProgressGroupVisible(window, true);
    RECT line = ControlRect(window, IDC_STATUS_LINE);
    EXPECT_TRUE(EqualRect(&saved, &line));
    EXPECT_EQ(L"45%", ControlText(window, IDC_PERCENT));
    EXPECT_EQ(L"120", ControlText(window, IDC_SPEED_VALUE));
    EXPECT_EQ(L"30", ControlText(window, IDC_REMAINING_VALUE));
    EXPECT_EQ(45, SendDlgItemMessageW(window, IDC_PROGRESS, PBM_GETPOS, 0, 0));

    // The bar's client area starts inside its border; the fill is 45 % of
    // the bar's whole width.
    HWND bar = GetDlgItem(window, IDC_PROGRESS);
    RECT bar_window;
    GetWindowRect(bar, &bar_window);
    POINT origin = {0, 0};
    ClientToScreen(bar, &origin);
    ScreenToClient(window, &origin);
    RECT bar_client;
    GetClientRect(bar, &bar_client);
    int fill = 45 * (bar_window.right - bar_window.left) / 100;
    int middle = origin.y + bar_client.bottom / 2;

    ClientCapture capture(window);
    EXPECT_COLOUR(kBackground, capture.At(capture.width() / 2, capture.height() - 4));
    EXPECT_COLOUR(kFill, capture.At(origin.x, middle));
    EXPECT_COLOUR(kFill, capture.At(origin.x + fill - 1, middle));
    EXPECT_COLOUR(kTrack, capture.At(origin.x + fill, middle));
    EXPECT_COLOUR(kTrack, capture.At(origin.x + bar_client.right - 1, middle));
    EXPECT_COLOUR(kFill, capture.At(origin.x + fill / 2, origin.y));
    EXPECT_COLOUR(kFill, capture.At(origin.x + fill / 2, origin.y + bar_client.bottom - 1));
    // The close button's face.
    RECT button = ControlRect(window, IDC_CLOSE_BUTTON);
    EXPECT_COLOUR(RGB(220, 217, 213), capture.At(button.left, button.top));

    SaveCaptureIfAsked(capture, "progress");

    PostText(&dialog, NOTIFY_SHOW_FINAL_MESSAGE,
             "Setup Kestrelon ...\n\nSummary - average speed: 120 kbps, total time: 30 seconds");
  });

  script.Then([&](HWND window) {
    EXPECT_EQ(L"Setup Kestrelon ...\n\nSummary - average speed: 120 kbps, total time: 30 seconds",
              ControlText(window, IDC_STATUS_LINE));
    ExpectProgressGroupVisible(window, false);
    RECT line = ControlRect(window, IDC_STATUS_LINE);
    EXPECT_EQ(saved.bottom + 30, line.bottom - line.top);
    // Three lines fit the enlarged area.
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics;
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    EXPECT_GE(line.bottom - line.top, 3 * metrics.tmHeight);
    SaveCaptureIfAsked(ClientCapture(window), "summary");

    PostText(&dialog, NOTIFY_SHOW_PROGRESS, "Downloading Kestrelon ...");
    PostText(&dialog, NOTIFY_PROGRESS_VALUES, "100,0,0");
  });

  script.Then([&](HWND window) {
    ExpectProgressGroupVisible(window, true);
    RECT line = ControlRect(window, IDC_STATUS_LINE);
    EXPECT_TRUE(EqualRect(&saved, &line));
    EXPECT_EQ(L"100%", ControlText(window, IDC_PERCENT));
    EXPECT_EQ(L"0", ControlText(window, IDC_SPEED_VALUE));
    EXPECT_EQ(L"0", ControlText(window, IDC_REMAINING_VALUE));
    HWND bar = GetDlgItem(window, IDC_PROGRESS);
    POINT origin = {0, 0};
    ClientToScreen(bar, &origin);
    ScreenToClient(window, &origin);
    RECT bar_client;
    GetClientRect(bar, &bar_client);
    ClientCapture capture(window);
    EXPECT_COLOUR(kFill, capture.At(origin.x + bar_client.right - 1, origin.y + bar_client.bottom / 2));

    // 6043 is not text; 6044 ends the run without showing its text.
    PostText(&dialog, NOTIFY_CLOSE, "Launching Kestrelon ... ");
  });

  EXPECT_EQ(IDCANCEL, script.Run());
  EXPECT_EQ(5u, script.StepsRun());
  EXPECT_EQ(nullptr, dialog.GetSafeHwnd());
}

TEST_F(BootwickDialogTest, InitialisationFailureStaysUntilClosed) {
  BootwickDialog dialog;
  ModalScript script(&dialog);
  script.Then([&](HWND) { EXPECT_TRUE(dialog.PostNotification(NOTIFY_INIT_FAILED, 0, 0)); });
  script.Then([&](HWND window) {
    EXPECT_EQ(Widen(kInitFailedText), ControlText(window, IDC_STATUS_LINE));
    ExpectProgressGroupVisible(window, false);
    EXPECT_TRUE(IsWindowVisible(window));
    SaveCaptureIfAsked(ClientCapture(window), "init_failed");
  });
  script.Then([&](HWND window) {
    // Still there a tick later; the close button ends it.
    EXPECT_TRUE(IsWindowVisible(window));
    SendDlgItemMessageW(window, IDC_CLOSE_BUTTON, BM_CLICK, 0, 0);
  });
  EXPECT_EQ(IDCANCEL, script.Run());
  EXPECT_EQ(3u, script.StepsRun());
}

TEST_F(BootwickDialogTest, KeepsWhatComesBeforeTheWindowInOrder) {
  // A quick worker can report before the modal run has made the window.
  BootwickDialog dialog;
  ASSERT_TRUE(PostText(&dialog, NOTIFY_SHOW_PROGRESS, "Downloading Kestrelon ..."));
  ASSERT_TRUE(PostText(&dialog, NOTIFY_PROGRESS_VALUES, "12,5,99"));
  ASSERT_TRUE(PostText(&dialog, NOTIFY_SHOW_MESSAGE, "Connecting ..."));
  ModalScript script(&dialog);
  script.Then([&](HWND window) {
    EXPECT_EQ(L"Connecting ...", ControlText(window, IDC_STATUS_LINE));
    EXPECT_EQ(L"12%", ControlText(window, IDC_PERCENT));
    ExpectProgressGroupVisible(window, false);
    EndDialog(window, IDOK);
  });
  EXPECT_EQ(IDOK, script.Run());
}

TEST_F(BootwickDialogTest, FreesTextsItNeverHandles) {
  {
    // Queued behind the close: they die with the window.
    BootwickDialog dialog;
    ModalScript script(&dialog);
    script.Then([&](HWND) {
      PostText(&dialog, NOTIFY_CLOSE, "Launching Kestrelon ... ");
      PostText(&dialog, NOTIFY_PROGRESS_VALUES, "50,1,1");
      PostText(&dialog, NOTIFY_SHOW_FINAL_MESSAGE, "Download is incomplete. Please try it again");
    });
    EXPECT_EQ(IDCANCEL, script.Run());
    EXPECT_EQ(live_texts_, LiveNotificationTexts());

    // After the end the window takes nothing more; the sender keeps its text.
    char* late = AllocNotificationText();
    EXPECT_FALSE(dialog.PostNotification(NOTIFY_SHOW_MESSAGE, reinterpret_cast<WPARAM>(late), 0));
    FreeNotificationText(late);
  }
  {
    // Posted for a window that is never run.
    BootwickDialog dialog;
    EXPECT_TRUE(PostText(&dialog, NOTIFY_SHOW_MESSAGE, "Connecting ..."));
  }
}

TEST_F(BootwickDialogTest, NullTextsAreShownAsNothing) {
  BootwickDialog dialog;
  ModalScript script(&dialog);
  script.Then([&](HWND) {
    dialog.PostNotification(NOTIFY_SHOW_PROGRESS, 0, 0);
    dialog.PostNotification(NOTIFY_PROGRESS_VALUES, 0, 0);
  });
  script.Then([&](HWND window) {
    EXPECT_EQ(L"", ControlText(window, IDC_STATUS_LINE));
    EXPECT_EQ(L"0%", ControlText(window, IDC_PERCENT));
    dialog.PostNotification(NOTIFY_CLOSE, 0, 0);
  });
  EXPECT_EQ(IDCANCEL, script.Run());
}

// Escape, Enter and the close command end the run the standard way.
TEST_F(BootwickDialogTest, StandardKeysAndCloseEndTheWindow) {
  struct Case {
    const char* name;
    UINT message;
    WPARAM key;
    INT_PTR expected;
  };
  const Case cases[] = {
      {"Escape", WM_KEYDOWN, VK_ESCAPE, IDCANCEL},
      {"Enter", WM_KEYDOWN, VK_RETURN, IDOK},
      {"WM_CLOSE", WM_CLOSE, 0, IDCANCEL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BootwickDialog dialog;
    ModalScript script(&dialog);
    script.Then([&](HWND window) {
      if (c.message == WM_KEYDOWN) {
        // Keys go to the focused control, where the dialog manager sees them.
        SetFocus(window);
        HWND focus = GetFocus();
        PostMessageW(focus != nullptr ? focus : window, WM_KEYDOWN, c.key, 1);
      } else {
        PostMessageW(window, c.message, 0, 0);
      }
    });
    INT_PTR result = script.Run();
    if (c.key == VK_RETURN) {
      // With the focus on the close button, Enter presses it instead.
      EXPECT_TRUE(result == IDOK || result == IDCANCEL) << result;
    } else {
      EXPECT_EQ(c.expected, result);
    }
  }
}

}  // namespace

namespace {

// Records the system commands the window asks for.
std::vector<std::pair<WPARAM, LPARAM>> g_system_commands;
LRESULT CALLBACK RecordSystemCommands(int code, WPARAM wparam, LPARAM lparam) {
  const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lparam);
  if (code == HC_ACTION && call->message == WM_SYSCOMMAND) g_system_commands.emplace_back(call->wParam, call->lParam);
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

class SystemCommandRecorder {
 public:
  SystemCommandRecorder()
      : hook_(SetWindowsHookExW(WH_CALLWNDPROC, &RecordSystemCommands, nullptr, GetCurrentThreadId())) {
    g_system_commands.clear();
  }
  ~SystemCommandRecorder() { UnhookWindowsHookEx(hook_); }
  size_t MovesByMouse() const {
    size_t count = 0;
    for (const auto& command : g_system_commands)
      if (command.first == 0xF011) ++count;
    return count;
  }

 private:
  HHOOK hook_;
};

TEST_F(BootwickDialogTest, APressOnTheWindowMovesItAndAClickOnCloseEndsIt) {
  BootwickDialog dialog;
  SystemCommandRecorder recorder;
  ModalScript script(&dialog);
  script.Then([&](HWND window) {
    // A press on the panel itself starts a move with the mouse; the release
    // ends it.
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 70));
    PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(40, 70));
  });
  script.Then([&](HWND window) {
    EXPECT_EQ(1u, recorder.MovesByMouse());
    // A plain click on the close button is a click, not a move.
    HWND button = GetDlgItem(window, IDC_CLOSE_BUTTON);
    PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
  });
  EXPECT_EQ(IDCANCEL, script.Run());
  EXPECT_EQ(2u, script.StepsRun());
  EXPECT_EQ(1u, recorder.MovesByMouse());
}

TEST_F(BootwickDialogTest, DraggingTheCloseButtonMovesTheWindowInstead) {
  BootwickDialog dialog;
  SystemCommandRecorder recorder;
  ModalScript script(&dialog);
  script.Then([&](HWND window) {
    HWND button = GetDlgItem(window, IDC_CLOSE_BUTTON);
    PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    PostMessageW(button, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(3 + 20, 3 + 20));
  });
  script.Then([&](HWND window) {
    // The move runs its own loop (which still delivers these ticks) until
    // the button is released.
    EXPECT_EQ(1u, recorder.MovesByMouse());
    PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(60, 60));
  });
  script.Then([&](HWND window) {
    EXPECT_TRUE(IsWindowVisible(window));
    EndDialog(window, IDOK);
  });
  EXPECT_EQ(IDOK, script.Run());
}

}  // namespace
