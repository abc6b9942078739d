#include "ui/taskbar_progress_win.h"

TaskbarProgress::TaskbarProgress()
    : m_uButtonCreated(RegisterWindowMessageW(L"TaskbarButtonCreated")),
      m_bTried(false),
      m_bComStarted(false),
      m_pTaskbar(nullptr),
      m_eState(State::kNone),
      m_iPercent(0) {}

TaskbarProgress::~TaskbarProgress() { Clear(nullptr); }

void TaskbarProgress::ShowPercent(HWND window, int percent) {
  m_eState = State::kNormal;
  m_iPercent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
  Show(window);
}

// The bar turns to the error state where it stood; full when nothing had
// come, so that the state can be seen at all.
void TaskbarProgress::ShowFailure(HWND window) {
  if (m_eState == State::kNone) m_iPercent = 100;
  m_eState = State::kError;
  Show(window);
}

void TaskbarProgress::Show(HWND window) {
  // Asked for only once there is something to show: the launch road, which
  // shows none, pays nothing for it. By then the window has long had its
  // button.
  if (m_eState == State::kNone || window == nullptr) return;
  if (!m_bTried) {
    m_bTried = true;
    HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    m_bComStarted = SUCCEEDED(started);
    if (m_bComStarted &&
        (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                 reinterpret_cast<void**>(&m_pTaskbar))) ||
         FAILED(m_pTaskbar->HrInit()))) {
      if (m_pTaskbar != nullptr) m_pTaskbar->Release();
      m_pTaskbar = nullptr;
    }
  }
  if (m_pTaskbar == nullptr) return;
  m_pTaskbar->SetProgressState(window, m_eState == State::kError ? TBPF_ERROR : TBPF_NORMAL);
  m_pTaskbar->SetProgressValue(window, static_cast<ULONGLONG>(m_iPercent), 100);
}

void TaskbarProgress::Clear(HWND window) {
  if (m_pTaskbar != nullptr) {
    if (window != nullptr) m_pTaskbar->SetProgressState(window, TBPF_NOPROGRESS);
    m_pTaskbar->Release();
    m_pTaskbar = nullptr;
  }
  if (m_bComStarted) CoUninitialize();
  m_bComStarted = false;
  m_bTried = false;  // a window made later asks again
  m_eState = State::kNone;
}
