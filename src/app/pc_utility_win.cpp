#include "app/pc_utility_win.h"

#include "app/protocol_registration.h"
#include "base/log_api.h"
#include "system/registry_handler_win.h"

bool PCUtility::RegisterStarter(const char* starter_path, const char* protocol_name) {
  const char kOperation[] = "PCUtility:RegisterStarter()";
  ProtocolRegistration entries = DescribeProtocolRegistration(starter_path, protocol_name);
  RegistryHandler registry;

  // Each step is tried even when an earlier one failed; only the last write
  // decides the result.
  registry.AddRegistryKey(entries.class_key.c_str());
  registry.AddRegistryValue(entries.class_key.c_str(), "", entries.description.c_str(), REG_SZ);
  registry.AddRegistryValue(entries.class_key.c_str(), "URL Protocol", "", REG_SZ);
  KS_LOG(0, kOperation, "sKey = %s", entries.class_key.c_str());

  registry.AddRegistryKey(entries.command_key.c_str());
  registry.AddRegistryValue(entries.command_key.c_str(), "", entries.command.c_str(), REG_SZ);
  KS_LOG(0, kOperation, "sCommandKey = %s", entries.command_key.c_str());

  registry.AddRegistryKey(entries.execute_key.c_str());
  return registry.AddRegistryValue(entries.execute_key.c_str(), "WarnOnOpen", "0", REG_DWORD);
}
