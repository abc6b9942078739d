#include "net/proxy_credentials_win.h"

#include <chrono>
#include <cstring>
#include <cwchar>
#include <mutex>

#include "base/system_api_win.h"

namespace {

const DWORD kCredentialChars = 256;

struct Secret {
  wchar_t user[kCredentialChars];
  wchar_t password[kCredentialChars];
};

// The texts live in a block of their own on the heap: fixed arrays, because
// a string that grows leaves copies of its old text where no wipe reaches;
// not in the program's data, because a crash dump takes that along (and the
// error report uploads the dump).
struct KeptCredentials {
  std::timed_mutex lock;
  std::string proxy;  // empty while nothing is kept
  Secret* secret = nullptr;
  unsigned long kept_count = 0;

  void Wipe() {
    if (secret != nullptr) {
      SecureZeroMemory(secret, sizeof *secret);
      delete secret;
      secret = nullptr;
    }
    proxy.clear();
  }
};

// Never destroyed, only wiped: the worker or a report may still use it
// while the process ends (the window closed mid-run).
KeptCredentials& Kept() {
  static KeptCredentials* kept = new KeptCredentials();
  return *kept;
}

std::mutex& PromptTurnLock() {
  static std::mutex* turn = new std::mutex();
  return *turn;
}

bool ReadOption(HINTERNET request, DWORD option, wchar_t (&text)[kCredentialChars]) {
  DWORD size = sizeof text;
  SecureZeroMemory(text, sizeof text);
  if (!ks::sys::InternetQueryOptionW(request, option, text, &size)) return false;
  text[kCredentialChars - 1] = L'\0';
  return true;
}

bool GiveOption(HINTERNET request, DWORD option, const wchar_t* text) {
  return ks::sys::InternetSetOptionW(request, option, const_cast<wchar_t*>(text),
                                     static_cast<DWORD>(wcslen(text) + 1)) != FALSE;
}

}  // namespace

namespace ksnet {

std::string ProxyOf(HINTERNET internet) {
  // The structure is followed by the texts it points to.
  alignas(INTERNET_PROXY_INFO) char buffer[4096];
  DWORD size = sizeof buffer;
  if (internet == nullptr || !ks::sys::InternetQueryOptionA(internet, INTERNET_OPTION_PROXY, buffer, &size))
    return std::string();
  const INTERNET_PROXY_INFO* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer);
  const char* proxy = reinterpret_cast<const char*>(info->lpszProxy);
  // The text is read only within the buffer it was written to.
  if (info->dwAccessType != INTERNET_OPEN_TYPE_PROXY || proxy < buffer || proxy >= buffer + sizeof buffer)
    return std::string();
  return std::string(proxy, strnlen(proxy, static_cast<size_t>(buffer + sizeof buffer - proxy)));
}

// The lock is held only while texts are copied, never around WinInet. The
// crash report's request gives up on it after a while: the crash may have
// come while it was held.
std::string KeepProxyCredentials(HINTERNET internet, HINTERNET request) {
  std::string proxy = ProxyOf(internet);
  if (proxy.empty()) return proxy;
  Secret read;
  bool complete = ReadOption(request, INTERNET_OPTION_PROXY_USERNAME, read.user) && read.user[0] != L'\0' &&
                  ReadOption(request, INTERNET_OPTION_PROXY_PASSWORD, read.password);
  if (complete) {
    KeptCredentials& kept = Kept();
    std::lock_guard<std::timed_mutex> hold(kept.lock);
    kept.Wipe();
    kept.secret = new Secret(read);
    kept.proxy = proxy;
    ++kept.kept_count;
  }
  SecureZeroMemory(&read, sizeof read);
  return complete ? proxy : std::string();
}

std::string GiveProxyCredentials(HINTERNET internet, HINTERNET request) {
  KeptCredentials& kept = Kept();
  std::string proxy = ProxyOf(internet);
  if (proxy.empty() || !kept.lock.try_lock_for(std::chrono::seconds(2))) return std::string();
  Secret given;
  {
    std::lock_guard<std::timed_mutex> hold(kept.lock, std::adopt_lock);
    if (kept.proxy != proxy) return std::string();
    given = *kept.secret;
  }
  bool complete = GiveOption(request, INTERNET_OPTION_PROXY_USERNAME, given.user) &&
                  GiveOption(request, INTERNET_OPTION_PROXY_PASSWORD, given.password);
  SecureZeroMemory(&given, sizeof given);
  return complete ? proxy : std::string();
}

void WipeProxyCredentials() {
  KeptCredentials& kept = Kept();
  std::lock_guard<std::timed_mutex> hold(kept.lock);
  kept.Wipe();
}

ProxyPromptTurn::ProxyPromptTurn() {
  KeptCredentials& kept = Kept();
  std::lock_guard<std::timed_mutex> hold(kept.lock);
  seen_ = kept.kept_count;
}

std::string ProxyPromptTurn::Take(HINTERNET internet, HINTERNET request) {
  if (held_) return std::string();
  PromptTurnLock().lock();
  held_ = true;
  KeptCredentials& kept = Kept();
  unsigned long count;
  {
    std::lock_guard<std::timed_mutex> hold(kept.lock);
    count = kept.kept_count;
  }
  if (count == seen_) return std::string();
  seen_ = count;
  return GiveProxyCredentials(internet, request);
}

void ProxyPromptTurn::Release() {
  if (held_) PromptTurnLock().unlock();
  held_ = false;
}

}  // namespace ksnet
