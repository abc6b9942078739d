#include "crash/system_info_win.h"

#include <winsock2.h>
#include <windows.h>

#include <cstring>

#include "base/handles_win.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "crash/os_description.h"

namespace {

CrashSystemInfo g_oSystemInfo;

// Reads a text value of at most 80 bytes; false when it is missing, not text
// or longer.
bool ReadTextValue(HKEY key, const wchar_t* name, wchar_t* text, size_t capacity) {
  wchar_t data[41];  // 80 bytes plus room for an ending the value may lack
  DWORD type = 0;
  DWORD size = 80;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
    return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  data[size / sizeof(wchar_t)] = L'\0';
  size_t length = wcslen(data);
  if (length >= capacity) return false;
  memcpy(text, data, (length + 1) * sizeof(wchar_t));
  return true;
}

// A browser value as the report shows it: the value when it reads and fits
// 31 bytes of UTF-8, the given text when it cannot be read.
void ReadBrowserValue(HKEY key, const wchar_t* name, char* item, size_t capacity, const char* missing) {
  wchar_t value[41];
  if (!ReadTextValue(key, name, value, 41)) {
    ks::CopyText(item, capacity, missing);
    return;
  }
  char utf8[32];
  if (UTF16ToUTF8(value, utf8, sizeof utf8)) ks::CopyText(item, capacity, utf8);
}

bool ReadVersionRecord(OSVersionRecord* record) {
  OSVERSIONINFOEXW extended;
  memset(&extended, 0, sizeof extended);
  extended.dwOSVersionInfoSize = sizeof extended;
  OSVERSIONINFOW* basic = reinterpret_cast<OSVERSIONINFOW*>(&extended);
  record->extended = GetVersionExW(basic) != FALSE;
  if (!record->extended) {
    memset(&extended, 0, sizeof extended);
    basic->dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    if (!GetVersionExW(basic)) return false;
  }
  record->platform_id = basic->dwPlatformId;
  record->major_version = basic->dwMajorVersion;
  record->minor_version = basic->dwMinorVersion;
  record->build_number = basic->dwBuildNumber;
  basic->szCSDVersion[127] = L'\0';
  record->service_pack = Narrow(basic->szCSDVersion);
  if (record->extended) {
    record->suite_mask = extended.wSuiteMask;
    record->product_type = extended.wProductType;
  }
  return true;
}

// "ProductType" of the local machine, for systems that give only the basic
// record; empty when it cannot be read.
std::string ReadProductType() {
  ks::UniqueKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions", 0, KEY_QUERY_VALUE,
                    key.put()) != ERROR_SUCCESS)
    return std::string();
  wchar_t value[41];
  if (!ReadTextValue(key.get(), L"ProductType", value, 41)) return std::string();
  return Narrow(value);
}

}  // namespace

const CrashSystemInfo& GetCrashSystemInfo() { return g_oSystemInfo; }

bool GetHostNameAndAddress() {
  char host_name[256];
  if (gethostname(host_name, sizeof host_name) != 0) return false;
  host_name[sizeof host_name - 1] = '\0';
  hostent* entry = gethostbyname(host_name);
  if (entry == nullptr) return false;
  if (!ks::CopyText(g_oSystemInfo.computer_name, sizeof g_oSystemInfo.computer_name, entry->h_name))
    g_oSystemInfo.computer_name[0] = '\0';
  if (entry->h_addrtype == AF_INET && entry->h_addr_list != nullptr && entry->h_addr_list[0] != nullptr) {
    in_addr address;
    memcpy(&address, entry->h_addr_list[0], sizeof address);
    ks::CopyText(g_oSystemInfo.computer_address, sizeof g_oSystemInfo.computer_address, inet_ntoa(address));
  }
  return true;
}

bool GetOSDescription() {
  OSVersionRecord record;
  if (!ReadVersionRecord(&record)) return false;
  std::string product_type;
  if (!record.extended && record.platform_id == kPlatformNT) product_type = ReadProductType();
  std::string description = DescribeOS(record, product_type.c_str());
  if (!ks::CopyText(g_oSystemInfo.os_description, sizeof g_oSystemInfo.os_description, description.c_str()))
    g_oSystemInfo.os_description[0] = '\0';
  return true;
}

bool GetIEVersion() {
  {
    ks::UniqueKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Internet Explorer", 0, KEY_READ, key.put()) ==
        ERROR_SUCCESS) {
      ReadBrowserValue(key.get(), L"Build", g_oSystemInfo.ie_build, sizeof g_oSystemInfo.ie_build, "Not found");
      ReadBrowserValue(key.get(), L"Version", g_oSystemInfo.ie_version, sizeof g_oSystemInfo.ie_version,
                       "Not found");
    }
  }
  ks::UniqueKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                    KEY_READ, key.put()) != ERROR_SUCCESS)
    return false;
  ReadBrowserValue(key.get(), L"MinorVersion", g_oSystemInfo.ie_minor_version,
                   sizeof g_oSystemInfo.ie_minor_version, "Not Found");
  return true;
}
