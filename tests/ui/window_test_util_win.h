#pragma once
// Helpers for driving the modal progress window from its own thread: a
// script of steps run one per thread-timer tick. A WM_TIMER is only produced
// when the queue holds nothing else, so by the next step every notification
// posted by the previous one has been handled and the window repainted.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "setup/setup_interface.h"
#include "ui/bootwick_dialog_win.h"

namespace uitest {

class ModalScript {
 public:
  typedef std::function<void(HWND window)> Step;

  explicit ModalScript(BootwickDialog* dialog) : dialog_(dialog) {}

  void Then(Step step) { steps_.push_back(std::move(step)); }

  // Once the steps are used up, leave the window to someone else (a worker
  // thread) to end; it is still ended with kLeftOpen should that never come.
  void LeaveEndingToOthers() { others_end_ = true; }

  // Runs the dialog modally with the steps; returns DoModal's result. When
  // the steps are used up and the window is still there, it is ended with
  // kLeftOpen, so a window that should have closed shows up as that result.
  static const INT_PTR kLeftOpen = 4242;
  INT_PTR Run() {
    current_ = this;
    next_ = 0;
    idle_ticks_ = 0;
    UINT_PTR timer = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, &ModalScript::OnTick);
    INT_PTR result = dialog_->DoModal();
    KillTimer(nullptr, timer);
    current_ = nullptr;
    return result;
  }
  size_t StepsRun() const { return next_; }

 private:
  static void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD) {
    ModalScript* self = current_;
    if (self == nullptr) return;
    HWND window = self->dialog_->GetSafeHwnd();
    if (window == nullptr) return;
    if (self->next_ < self->steps_.size()) {
      self->steps_[self->next_++](window);
    } else if (!self->others_end_ || ++self->idle_ticks_ > kPatienceTicks) {
      EndDialog(window, kLeftOpen);
    }
  }

  BootwickDialog* dialog_;
  std::vector<Step> steps_;
  size_t next_ = 0;
  bool others_end_ = false;
  int idle_ticks_ = 0;
  static const int kPatienceTicks = 6000;  // a safety net, not a wait
  static inline ModalScript* current_ = nullptr;
};

// A worker-style text notification: the text is allocated as the worker
// does and handed over; refused notifications give their text back here.
inline bool PostText(BootwickDialog* dialog, UINT code, const char* text) {
  char* buffer = AllocNotificationText();
  if (buffer == nullptr) return false;
  lstrcpynA(buffer, text, kNotificationTextSize);
  if (dialog->PostNotification(code, reinterpret_cast<WPARAM>(buffer), 0)) return true;
  FreeNotificationText(buffer);
  return false;
}

inline std::wstring ControlText(HWND window, int id) {
  wchar_t text[1100];
  GetDlgItemTextW(window, id, text, 1100);
  return text;
}

// A control's rectangle in the window's client coordinates.
inline RECT ControlRect(HWND window, int id) {
  RECT rect;
  GetWindowRect(GetDlgItem(window, id), &rect);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// The window's client area as painted, read back through its own device
// context.
class ClientCapture {
 public:
  explicit ClientCapture(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    width_ = client.right;
    height_ = client.bottom;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC window_dc = GetDC(window);
    HDC memory_dc = CreateCompatibleDC(window_dc);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(window_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory_dc, bitmap);
    BitBlt(memory_dc, 0, 0, width_, height_, window_dc, 0, 0, SRCCOPY);
    GdiFlush();
    const uint32_t* pixels = static_cast<const uint32_t*>(bits);
    pixels_.assign(pixels, pixels + static_cast<size_t>(width_) * height_);
    SelectObject(memory_dc, old);
    DeleteObject(bitmap);
    DeleteDC(memory_dc);
    ReleaseDC(window, window_dc);
  }

  int width() const { return width_; }
  int height() const { return height_; }

  COLORREF At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
    uint32_t pixel = pixels_[static_cast<size_t>(y) * width_ + x];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
  }

  // Saves the capture as a 24-bit .bmp (for looking at it).
  bool SaveBmp(const std::string& path) const {
    int stride = (width_ * 3 + 3) / 4 * 4;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width_;
    header.biHeight = height_;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biSizeImage = static_cast<DWORD>(stride * height_);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + header.biSizeImage;
    std::string data(reinterpret_cast<const char*>(&file), sizeof file);
    data.append(reinterpret_cast<const char*>(&header), sizeof header);
    for (int y = height_ - 1; y >= 0; --y) {
      std::string row(static_cast<size_t>(stride), '\0');
      for (int x = 0; x < width_; ++x) {
        COLORREF colour = At(x, y);
        row[x * 3] = static_cast<char>(GetBValue(colour));
        row[x * 3 + 1] = static_cast<char>(GetGValue(colour));
        row[x * 3 + 2] = static_cast<char>(GetRValue(colour));
      }
      data += row;
    }
    HANDLE file_handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file_handle == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file_handle, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(file_handle);
    return ok && written == data.size();
  }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint32_t> pixels_;
};

}  // namespace uitest
