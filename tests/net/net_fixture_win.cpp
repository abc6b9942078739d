#include "net/net_fixture_win.h"

#include <winsock2.h>

#include <sstream>

#include "base/handles_win.h"
#include "base/wide_text.h"

namespace nettest {

namespace {
const wchar_t kSettingsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
}

ServeProcess::ServeProcess(const std::vector<std::string>& args) : dir_("ksserve"), process_(nullptr), port_(0) {
  std::string ready = dir_.File("ready.txt");
  std::string command = "\"" + kstest::BuildDir() + "\\kstool.exe\" serve --port 0 --ready-file \"" + ready +
                        "\" --request-log \"" + dir_.File("requests.log") + "\" --exit-after-seconds 900";
  for (const std::string& arg : args) command += " \"" + arg + "\"";
  std::wstring wide = Widen(command.c_str());
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, &wide[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info))
    return;
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  for (int i = 0; i < 400 && port_ == 0; ++i) {
    std::string text;
    if (kstest::ReadFile(ready, &text)) port_ = atoi(text.c_str());
    if (port_ == 0) {
      if (WaitForSingleObject(process_, 50) == WAIT_OBJECT_0) break;  // it gave up
    }
  }
}

ServeProcess::~ServeProcess() {
  if (process_ != nullptr) {
    TerminateProcess(process_, 0);
    WaitForSingleObject(process_, 5000);
    CloseHandle(process_);
  }
}

std::string ServeProcess::Requests() const { return kstest::ReadFileOrEmpty(dir_.File("requests.log")); }

std::vector<std::string> ServeProcess::RequestLines() const {
  std::vector<std::string> lines;
  std::string all = Requests();
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find("\r\n", start);
    if (end == std::string::npos) break;
    lines.push_back(all.substr(start, end - start));
    size_t head_end = all.find("\r\n\r\n", start);
    if (head_end == std::string::npos) break;
    start = head_end + 4;
  }
  return lines;
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

int RefusedPort() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = inet_addr("127.0.0.1");
  bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local);
  int length = sizeof local;
  getsockname(s, reinterpret_cast<sockaddr*>(&local), &length);
  closesocket(s);
  return ntohs(local.sin_port);
}

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
