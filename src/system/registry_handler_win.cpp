#include "system/registry_handler_win.h"

#include <cwchar>

#include "base/error_text.h"
#include "base/handles_win.h"
#include "base/log_api.h"
#include "base/text.h"
#include "base/wide_text.h"

namespace {
const int kWideSize = 512;

// Keys, names and values cross into the registry as UTF-16 of at most 511
// characters; a text that does not fit is refused rather than cut.
bool ToWide(const char* text, wchar_t* wide) {
  return UTF8ToUTF16(text ? text : "", wide, kWideSize);
}
}  // namespace

bool RegistryHandler::AddRegistryKey(const char* key) {
  wchar_t wide_key[kWideSize];
  LONG error = ERROR_FILENAME_EXCED_RANGE;
  HKEY raw = nullptr;
  if (ToWide(key, wide_key))
    error = RegCreateKeyExW(m_hRootKey, wide_key, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &raw,
                            nullptr);
  if (error != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(error));
    KS_LOG(0, "RegistryHandler::AddRegistryKey()", "RegCreateKeyEx() failed. iErrorCode = %d, Error = %s, sKey = %s",
           static_cast<int>(error), GetErrorText(static_cast<int>(error)), key ? key : "");
    return false;
  }
  RegCloseKey(raw);
  return true;
}

bool RegistryHandler::AddRegistryValue(const char* key, const char* name, const char* value, DWORD type) {
  const char* kOperation = "RegistryHandler::AddRegistryValue()";
  if (key == nullptr) key = "";
  if (name == nullptr) name = "";
  if (value == nullptr) value = "";
  wchar_t wide_key[kWideSize];
  wchar_t wide_name[kWideSize];
  wchar_t wide_value[kWideSize];
  bool fits = ToWide(key, wide_key) && ToWide(name, wide_name) && ToWide(value, wide_value);

  ks::UniqueKey opened;
  LONG error = fits ? RegOpenKeyExW(m_hRootKey, wide_key, 0, KEY_SET_VALUE, opened.put()) : ERROR_FILENAME_EXCED_RANGE;
  if (error != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(error));
    KS_LOG(0, kOperation, "RegOpenKeyEx() failed. iErrorCode = %d, Error = %s, sKey = %s, sName = %s, sValue = %s",
           static_cast<int>(error), GetErrorText(static_cast<int>(error)), key, name, value);
    return false;
  }

  if (type == REG_DWORD) {
    DWORD number = static_cast<DWORD>(ks::ParseInt(value));
    error = RegSetValueExW(opened.get(), wide_name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                           sizeof number);
  } else {
    DWORD bytes = static_cast<DWORD>((wcslen(wide_value) + 1) * sizeof(wchar_t));
    error = RegSetValueExW(opened.get(), wide_name, 0, type, reinterpret_cast<const BYTE*>(wide_value), bytes);
  }
  if (error != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(error));
    KS_LOG(0, kOperation, "RegSetValueEx() failed. iErrorCode = %d, Error = %s, sKey = %s, sName = %s, sValue = %s",
           static_cast<int>(error), GetErrorText(static_cast<int>(error)), key, name, value);
    return false;
  }
  return true;
}
