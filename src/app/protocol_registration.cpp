#include "app/protocol_registration.h"

#include "base/text.h"

ProtocolRegistration DescribeProtocolRegistration(const char* starter_path, const char* protocol_name) {
  if (starter_path == nullptr) starter_path = "";
  if (protocol_name == nullptr) protocol_name = "";
  ProtocolRegistration entries;
  entries.class_key = ks::Format("%s\\%s", "Software\\Classes", protocol_name);
  entries.description = ks::Format("URL:%s Starter", protocol_name);
  entries.command_key = ks::Format("%s\\shell\\open\\command", entries.class_key.c_str());
  // Quoted, so a path with blanks stays one argument; the browser's link is %1.
  entries.command = ks::Format("\"%s\" %%1", starter_path);
  entries.execute_key = ks::Format("%s\\%s", "Software\\Microsoft\\Internet Explorer\\ProtocolExecute", protocol_name);
  return entries;
}
