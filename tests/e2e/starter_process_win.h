#pragma once
// One run of a starter copy as a separate process: started with the scene's
// folders, watched, and its progress window read and closed from outside.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

#include "base/handles_win.h"
#include "base/wide_text.h"
#include "e2e/scene_win.h"
#include "standins/standin_client_win.h"
#include "ui/resources/resource.h"

namespace e2e {

// Generous: an outcome normally comes within a few seconds; this only
// bounds a run that went wrong.
const DWORD kOutcomeTimeoutMs = 60000;
const DWORD kExitTimeoutMs = 20000;

inline bool HasClass(HWND window, const wchar_t* class_name) {
  wchar_t found[64];
  return GetClassNameW(window, found, 64) > 0 && wcscmp(found, class_name) == 0;
}

// The first top-level window of process `id` that is `wanted`, or null.
inline HWND FindTopWindow(DWORD id, const std::function<bool(HWND)>& wanted) {
  struct Search {
    DWORD id;
    const std::function<bool(HWND)>* wanted;
    HWND found;
  } search = {id, &wanted, nullptr};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        Search* s = reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != s->id || !(*s->wanted)(window)) return TRUE;
        s->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

class StarterProcess {
 public:
  StarterProcess() = default;
  ~StarterProcess() { standin_client::EnsureEnded(process_.get()); }
  StarterProcess(const StarterProcess&) = delete;
  StarterProcess& operator=(const StarterProcess&) = delete;

  // Starts the scene's starter (or `program`) in the scene's starter folder
  // with `arguments`, its temporary folder pointed at the scene's own.
  bool Start(const Scene& scene, const std::string& arguments, const std::string& program = std::string()) {
    std::string command = apptest::Quote(program.empty() ? scene.Starter() : program);
    if (!arguments.empty()) command += " " + arguments;
    // The child takes these over; they are restored as soon as it is made.
    kstest::TempFolderOverride temp(scene.tmp());
    kstest::ScopedEnvironment records(L"KS_STANDIN_DIR", scene.records());
    kstest::ScopedEnvironment lifetime(L"KS_STANDIN_LIFETIME_MS", "60000");
    process_ = kstest::StartProcess(command, scene.app());
    if (!process_) {
      // Seen once on a loaded machine, right after kstool had written the
      // copy: a start that failed without a cause in the starter. It is
      // tried once more; the first failure's error is kept for the message.
      start_error_ = GetLastError();
      Sleep(500);
      process_ = kstest::StartProcess(command, scene.app());
    }
    id_ = process_ ? GetProcessId(process_.get()) : 0;
    return static_cast<bool>(process_);
  }

  DWORD Id() const { return id_; }
  // The system's error of a first start that failed, or 0.
  DWORD StartError() const { return start_error_; }
  bool Running() const { return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

  // Polls until `condition` holds; false when it did not within the time.
  static bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms = kOutcomeTimeoutMs) {
    return kstest::WaitUntil(condition, timeout_ms);
  }

  // The starter's progress window: its top-level window of the class the
  // start-up registers, or null.
  HWND Window() const { return TopWindow(L"KSSetupWindow"); }
  // A message box the starter shows (the system's dialog class), or null.
  HWND MessageBoxWindow() const { return TopWindow(L"#32770"); }

  // The text of one of the window's controls, read across the process
  // boundary; empty when there is no window.
  std::string ControlText(int id) const {
    HWND window = Window();
    return TextOf(window != nullptr ? GetDlgItem(window, id) : nullptr);
  }
  std::string StatusLine() const { return ControlText(IDC_STATUS_LINE); }

  // The text of the message box the starter shows, or empty.
  std::string MessageBoxText() const {
    const int kMessageBoxText = 0xFFFF;  // the static that holds a message box's text
    return TextOf(MessageBoxWindow() != nullptr ? GetDlgItem(MessageBoxWindow(), kMessageBoxText) : nullptr);
  }
  // Answers the message box as a click on its OK button does.
  bool DismissMessageBox() {
    HWND box = MessageBoxWindow();
    return box != nullptr && PostMessageW(box, WM_COMMAND, IDOK, 0);
  }

  // The progress bar's position, or -1.
  int ProgressPosition() const {
    HWND window = Window();
    HWND bar = window != nullptr ? GetDlgItem(window, IDC_PROGRESS) : nullptr;
    DWORD_PTR position = 0;
    if (bar == nullptr || !SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &position)) return -1;
    return static_cast<int>(position);
  }

  // Waits until the status line shows `text`; the window handles the
  // worker's messages a moment after the worker has logged its step.
  bool WaitForStatusLine(const std::string& text) {
    return WaitUntil([&] { return StatusLine() == text; }, 10000);
  }

  // Closes the window as its close command does (what a user's click on
  // the close button ends in) and waits for the process to end by itself.
  bool CloseWindowAndWait() {
    HWND window = Window();
    if (window == nullptr || !PostMessageW(window, WM_CLOSE, 0, 0)) return false;
    return WaitForExit();
  }

  // Ends the starter abruptly, as a power cut, a crash or the task manager
  // would, and waits until it is gone.
  bool Kill() { return process_ && TerminateProcess(process_.get(), 1) && WaitForExit(); }

  bool WaitForExit(DWORD timeout_ms = kExitTimeoutMs) {
    return process_ && WaitForSingleObject(process_.get(), timeout_ms) == WAIT_OBJECT_0;
  }
  DWORD ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_) GetExitCodeProcess(process_.get(), &code);
    return code;
  }

 private:
  // The process's top-level window of `class_name`, or null.
  HWND TopWindow(const wchar_t* class_name) const {
    return FindTopWindow(id_, [class_name](HWND window) { return HasClass(window, class_name); });
  }

  // A window's text, read across the process boundary; empty without one.
  static std::string TextOf(HWND control) {
    if (control == nullptr) return std::string();
    wchar_t text[1100] = L"";
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXT, 1100, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                             &copied))
      return std::string();
    return Narrow(text);
  }

  ks::UniqueHandle process_;
  DWORD id_ = 0;
  DWORD start_error_ = 0;
};

}  // namespace e2e
