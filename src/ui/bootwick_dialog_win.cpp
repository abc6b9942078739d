#include "ui/bootwick_dialog_win.h"

// Placeholder until the progress window is built: the modal run ends at once.
BootwickDialog::BootwickDialog() : m_hWnd(nullptr), m_hEditionIcon(nullptr) {}
BootwickDialog::~BootwickDialog() {}
bool BootwickDialog::RegisterWindowClass(HINSTANCE /*instance*/) { return true; }
void BootwickDialog::SetEditionIcon(HICON icon) { m_hEditionIcon = icon; }
INT_PTR BootwickDialog::DoModal() { return IDCANCEL; }
HWND BootwickDialog::GetSafeHwnd() const { return m_hWnd; }
