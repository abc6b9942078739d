#include "app/own_path_win.h"

#include <windows.h>

#include "base/wide_text.h"

void GetOwnPath(char* path, size_t capacity) {
  wchar_t wide[512];
  DWORD length = GetModuleFileNameW(nullptr, wide, 512);
  if (length == 0 || length >= 512) wide[0] = L'\0';
  UTF16ToUTF8(wide, path, static_cast<int>(capacity));  // leaves the path empty when it does not fit
}
