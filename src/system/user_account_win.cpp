#include "system/user_account_win.h"

#include <windows.h>

#include <vector>

#include "base/handles_win.h"
#include "base/log_api.h"
#include "base/wide_text.h"
#include "system/user_directory_rules.h"

namespace {

// The extended version record first, the basic one when that is refused.
bool GetVersionRecord(DWORD* platform, DWORD* major, DWORD* minor) {
  OSVERSIONINFOEXW extended = {};
  extended.dwOSVersionInfoSize = sizeof extended;
  if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&extended))) {
    *platform = extended.dwPlatformId;
    *major = extended.dwMajorVersion;
    *minor = extended.dwMinorVersion;
    return true;
  }
  OSVERSIONINFOW basic = {};
  basic.dwOSVersionInfoSize = sizeof basic;
  if (!GetVersionExW(&basic)) return false;
  *platform = basic.dwPlatformId;
  *major = basic.dwMajorVersion;
  *minor = basic.dwMinorVersion;
  return true;
}

}  // namespace

bool IsSystemUser() {
  wchar_t name[512];
  DWORD size = 512;
  if (!GetUserNameW(name, &size)) return false;
  char utf8[512];
  if (!UTF16ToUTF8(name, utf8, sizeof utf8)) return false;
  return IsSystemAccountName(utf8);
}

bool IsVistaOrLater() {
  DWORD platform = 0, major = 0, minor = 0;
  return GetVersionRecord(&platform, &major, &minor) && platform == VER_PLATFORM_WIN32_NT && major > 5;
}

bool IsWindowsXP() {
  DWORD platform = 0, major = 0, minor = 0;
  return GetVersionRecord(&platform, &major, &minor) && platform == VER_PLATFORM_WIN32_NT && major == 5 &&
         minor == 1;
}

namespace Utility {

bool IsUserAdmin() {
  const char kOperation[] = "Utility::IsUserAdmin()";
  HANDLE raw_token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw_token)) {
    KS_LOG(0, kOperation, "OpenProcessToken Error %u\n", static_cast<unsigned>(GetLastError()));
    return false;
  }
  ks::UniqueHandle token(raw_token);

  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &size) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    KS_LOG(0, kOperation, "GetTokenInformation Error %u\n", static_cast<unsigned>(GetLastError()));
    return false;
  }
  // DWORD-sized elements keep the group list suitably aligned.
  std::vector<DWORD> buffer(size / sizeof(DWORD) + 1, 0);
  TOKEN_GROUPS* groups = reinterpret_cast<TOKEN_GROUPS*>(buffer.data());
  if (!GetTokenInformation(token.get(), TokenGroups, groups, size, &size)) {
    KS_LOG(0, kOperation, "GetTokenInformation Error %u\n", static_cast<unsigned>(GetLastError()));
    return false;
  }

  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                0, 0, &administrators)) {
    KS_LOG(0, kOperation, "AllocateAndInitializeSid Error %u\n", static_cast<unsigned>(GetLastError()));
    return false;
  }

  bool result = false;
  for (DWORD i = 0; i < groups->GroupCount; ++i) {
    if (!EqualSid(administrators, groups->Groups[i].Sid)) continue;
    DWORD attributes = groups->Groups[i].Attributes;
    if (attributes & SE_GROUP_ENABLED) {
      result = true;
      KS_LOG(0, kOperation, "The group SID is enabled.\n");
    } else if (attributes & SE_GROUP_USE_FOR_DENY_ONLY) {
      // An administrator whose rights are filtered (not elevated) still counts.
      result = true;
      KS_LOG(0, kOperation, "The group SID is a deny-only SID.\n");
    } else {
      KS_LOG(0, kOperation, "The group SID is not enabled.\n");
    }
  }
  FreeSid(administrators);
  return result;
}

}  // namespace Utility
