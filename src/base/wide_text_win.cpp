#include <windows.h>

#include "base/wide_text.h"

bool UTF8ToUTF16(const char* text, wchar_t* output, int capacity) {
  if (output == nullptr || capacity <= 0) return false;
  output[0] = L'\0';
  if (text == nullptr || *text == '\0') return true;
  int needed = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (needed <= 0 || needed > capacity) return false;
  if (MultiByteToWideChar(CP_UTF8, 0, text, -1, output, capacity) <= 0) {
    output[0] = L'\0';
    return false;
  }
  return true;
}

bool UTF16ToUTF8(const wchar_t* text, char* output, int capacity) {
  if (output == nullptr || capacity <= 0) return false;
  output[0] = '\0';
  if (text == nullptr || *text == L'\0') return true;
  int needed = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (needed <= 0 || needed > capacity) return false;  // needed counts the zero byte
  if (WideCharToMultiByte(CP_UTF8, 0, text, -1, output, capacity, nullptr, nullptr) <= 0) {
    output[0] = '\0';
    return false;
  }
  return true;
}

std::wstring Widen(const char* text) {
  if (text == nullptr || *text == '\0') return std::wstring();
  int needed = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (needed <= 1) return std::wstring();
  std::wstring out(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, &out[0], needed);
  out.resize(static_cast<size_t>(needed - 1));
  return out;
}

std::string Narrow(const wchar_t* text) {
  if (text == nullptr || *text == L'\0') return std::string();
  int needed = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (needed <= 1) return std::string();
  std::string out(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], needed, nullptr, nullptr);
  out.resize(static_cast<size_t>(needed - 1));
  return out;
}
