// Remembering the access settings that worked, in memory and in the cache file.
#include <string>

#include "base/text.h"
#include "net/access_setting.h"
#include "net/cache_file_text.h"
#include "net/hlib_win.h"
#include "net/my_configure_win.h"
#include "net/name_resolution_win.h"

namespace {

void WriteBack(const std::string& records) {
  ks::CopyText(HR::m_sServerAccessSetting, sizeof HR::m_sServerAccessSetting, records.c_str());
  MyConfigure* configure = MyConfigure::GetInstance();
  // A failed write leaves only the next run without the memory.
  if (configure != nullptr)
    configure->WriteConfigure(ksnet::kServerAccessOpeningTag, ksnet::kServerAccessClosingTag, records.c_str());
}

}  // namespace

void HR::AddCache(const char* sIP, int iPort, bool bSecure, char cPType, const char* sByPass,
                  const char* sProxyAddress) {
  if (sIP == nullptr) return;
  std::lock_guard<std::mutex> hold(ServerAccessSettingLock());
  std::string records = m_sServerAccessSetting;
  auto resolve = [sIP]() {
    char address[512];
    return Utility::ResolveHostAddress(sIP, address, sizeof address) ? std::string(address) : std::string();
  };
  ksnet::AddOutcome outcome =
      ksnet::AddAccessRecord(&records, sIP, iPort, bSecure, cPType, sByPass, sProxyAddress, resolve);
  if (outcome == ksnet::AddOutcome::kAdded || outcome == ksnet::AddOutcome::kReplaced) WriteBack(records);
}

void HR::RemoveCache(const char* sIP, int iPort, bool bSecure, char cPType, const char* sByPass,
                     const char* sProxyAddress) {
  std::lock_guard<std::mutex> hold(ServerAccessSettingLock());
  std::string records = m_sServerAccessSetting;
  if (ksnet::RemoveAccessRecord(&records, sIP, iPort, bSecure, cPType, sByPass, sProxyAddress)) WriteBack(records);
}
