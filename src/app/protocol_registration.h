#pragma once
// The registry entries that make the starter the current user's handler of a
// URL protocol: key paths (below HKEY_CURRENT_USER) and the texts written.
#include <string>

struct ProtocolRegistration {
  std::string class_key;     // Software\Classes\<protocol>
  std::string description;   // URL:<protocol> Starter
  std::string command_key;   // <class_key>\shell\open\command
  std::string command;       // "<starter path>" %1
  std::string execute_key;   // Software\Microsoft\Internet Explorer\ProtocolExecute\<protocol>
};

ProtocolRegistration DescribeProtocolRegistration(const char* starter_path, const char* protocol_name);
