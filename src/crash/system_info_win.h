#pragma once
// Facts about the machine that the error report carries, each collected on
// demand by its own function. Windows only; the collectors with sockets need
// the socket library started.
#include <cstddef>

struct CrashSystemInfo {
  char computer_name[256];     // official name of the local host
  char computer_address[64];   // its first IPv4 address, dotted
  char os_description[512];
  char ie_version[32];
  char ie_build[32];
  char ie_minor_version[32];
};

// The process-wide texts, empty until their collector has run.
const CrashSystemInfo& GetCrashSystemInfo();

bool GetHostNameAndAddress();
bool GetOSDescription();
bool GetIEVersion();
