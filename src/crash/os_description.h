#pragma once
// The operating-system description the error report carries ("Microsoft
// Windows XP Professional Service Pack 3 (Build 2600)"), built from the
// fields of the system's version record so every row of the table can be
// checked without that system.
#include <string>

struct OSVersionRecord {
  bool extended = false;            // product type and suite mask are valid
  unsigned long platform_id = 0;    // 0 Win32s, 1 Windows 9x, 2 NT
  unsigned long major_version = 0;
  unsigned long minor_version = 0;
  unsigned long build_number = 0;
  std::string service_pack;         // the service-pack text, UTF-8
  unsigned short suite_mask = 0;
  unsigned char product_type = 0;   // 1 workstation, 2 domain controller, 3 server
};

const unsigned long kPlatformWin32s = 0;
const unsigned long kPlatformWindows9x = 1;
const unsigned long kPlatformNT = 2;

// `product_options` is the "ProductType" value from the registry, consulted
// only for an NT system known by the basic record (null when it was not read).
std::string DescribeOS(const OSVersionRecord& record, const char* product_options);
