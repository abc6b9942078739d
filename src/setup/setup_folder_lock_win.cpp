#include "setup/setup_folder_lock_win.h"

#include <windows.h>
#include <sddl.h>

#include <vector>

#include "base/log_api.h"
#include "base/wide_text.h"

namespace {

const char kOperation[] = "SetupHandler::LockSetupFolder";

std::wstring UserSid() {
  ks::UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return std::wstring();
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return std::wstring();
  std::vector<unsigned char> buffer(size);
  if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return std::wstring();
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return std::wstring();
  std::wstring sid = text;
  LocalFree(text);
  return sid;
}

std::wstring UserName() {
  wchar_t name[257];
  DWORD size = 257;
  return GetUserNameW(name, &size) ? std::wstring(name) : std::wstring();
}

}  // namespace

std::wstring SetupFolderLock::Name() {
  std::wstring user = UserSid();
  if (user.empty()) user = UserName();
  // A kernel object name may hold no backslash after its namespace.
  for (wchar_t& c : user)
    if (c == L'\\') c = L'_';
  return L"Local\\KSSetupFolderMutex-" + user;
}

bool SetupFolderLock::Acquire() {
  if (held_) return true;
  mutex_.reset(CreateMutexW(nullptr, FALSE, Name().c_str()));
  if (!mutex_) {
    KS_LOG(3, kOperation, "CreateMutex() failed, error code: %lu", static_cast<unsigned long>(GetLastError()));
    return false;
  }
  DWORD result = WaitForSingleObject(mutex_.get(), 0);
  if (result == WAIT_TIMEOUT) {
    KS_LOG(0, kOperation, "Another starter is setting up; waiting for it");
    result = WaitForSingleObject(mutex_.get(), INFINITE);
  }
  if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) {
    KS_LOG(3, kOperation, "Waiting for the setup folder failed, error code: %lu",
           static_cast<unsigned long>(GetLastError()));
    mutex_.reset();
    return false;
  }
  held_ = true;
  return true;
}

void SetupFolderLock::ReleaseWhenEnded(HANDLE process, const char* program, DWORD limit_ms) {
  if (!held_) return;
  DWORD waited = process != nullptr ? WaitForSingleObject(process, limit_ms) : WAIT_FAILED;
  if (waited == WAIT_OBJECT_0)
    KS_LOG(0, kOperation, "Setup folder held until %s ended", program);
  else if (waited == WAIT_TIMEOUT)
    KS_LOG(0, kOperation, "Setup folder let go after %lu ms: %s still runs", static_cast<unsigned long>(limit_ms),
           program);
  else
    KS_LOG(0, kOperation, "Setup folder let go: %s cannot be watched", program);
  Release();
}

void SetupFolderLock::Release() {
  if (held_) ReleaseMutex(mutex_.get());
  held_ = false;
  mutex_.reset();
}
