#include "net/net_fixture_win.h"

#include <winsock2.h>

#include <sstream>

#include "base/handles_win.h"
#include "base/wide_text.h"

namespace nettest {

namespace {
const wchar_t kSettingsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
}

InternetSettings::InternetSettings() : key_(nullptr) {
  RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
  for (const wchar_t* name : {L"ProxyEnable", L"ProxyServer", L"ProxyOverride", L"AutoConfigURL"}) Save(name);
  // Each test starts from no proxy at all.
  SetDword(L"ProxyEnable", 0);
  Remove(L"ProxyServer");
  Remove(L"ProxyOverride");
  Remove(L"AutoConfigURL");
}

InternetSettings::~InternetSettings() {
  if (key_ == nullptr) return;
  for (const Saved& saved : saved_) {
    if (saved.existed)
      RegSetValueExW(key_, saved.name.c_str(), 0, saved.type, saved.data.data(), static_cast<DWORD>(saved.data.size()));
    else
      RegDeleteValueW(key_, saved.name.c_str());
  }
  RegCloseKey(key_);
}

void InternetSettings::Save(const wchar_t* name) {
  Saved saved{name, false, 0, {}};
  DWORD size = 0;
  if (RegQueryValueExW(key_, name, nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
    saved.data.resize(size);
    saved.existed = RegQueryValueExW(key_, name, nullptr, &saved.type, saved.data.data(), &size) == ERROR_SUCCESS;
  }
  saved_.push_back(saved);
}

void InternetSettings::SetDword(const wchar_t* name, DWORD value) {
  RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

void InternetSettings::SetText(const wchar_t* name, const std::string& value) {
  std::wstring wide = Widen(value.c_str());
  RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                 static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

void InternetSettings::Remove(const wchar_t* name) { RegDeleteValueW(key_, name); }

std::string WriteTextFile(const kstest::TempDir& dir, const std::string& name, const std::string& text) {
  std::string path = dir.File(name);
  kstest::WriteFile(path, text);
  return path;
}

}  // namespace nettest

namespace {
// The starter starts the socket library at start-up; so do the tests.
struct SocketLibrary {
  SocketLibrary() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
} g_socket_library;
}  // namespace
