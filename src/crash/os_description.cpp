#include "crash/os_description.h"

#include "base/text.h"

namespace {

const unsigned short kSuiteEnterprise = 0x0002;
const unsigned short kSuiteDataCenter = 0x0080;
const unsigned short kSuitePersonal = 0x0200;
const unsigned char kWorkstation = 1;
const unsigned char kServer = 3;

char SecondCharacter(const std::string& text) { return text.size() >= 2 ? text[1] : '\0'; }

bool SameIgnoringCase(const char* a, const char* b) {
  std::string x = a, y = b;
  ks::UpperAscii(&x[0]);
  ks::UpperAscii(&y[0]);
  return x == y;
}

std::string DescribeWindows9x(const OSVersionRecord& record) {
  if (record.major_version != 4) return std::string();
  switch (record.minor_version) {
    case 0: {
      std::string text = "Microsoft Windows 95 ";
      char c = SecondCharacter(record.service_pack);
      if (c == 'C' || c == 'B') text += "OSR2 ";
      return text;
    }
    case 10: {
      std::string text = "Microsoft Windows 98 ";
      if (SecondCharacter(record.service_pack) == 'A') text += "SE ";
      return text;
    }
    case 90:
      return "Microsoft Windows Me ";
    default:
      return std::string();
  }
}

const char* NTProductName(const OSVersionRecord& record) {
  if (record.major_version <= 4) return "Microsoft Windows NT ";
  if (record.major_version >= 6) return "Microsoft Windows Vista ";
  switch (record.minor_version) {
    case 0:
      return "Microsoft Windows 2000 ";
    case 1:
      return "Microsoft Windows XP ";
    case 2:
      return "Windows Server 2003 family ";
    default:
      return "";
  }
}

const char* NTEdition(const OSVersionRecord& record, const char* product_options) {
  if (record.extended) {
    if (record.product_type == kWorkstation)
      return (record.suite_mask & kSuitePersonal) ? "Personal " : "Professional ";
    if (record.product_type == kServer) {
      if (record.suite_mask & kSuiteDataCenter) return "DataCenter Server ";
      if (record.suite_mask & kSuiteEnterprise) return "Advanced Server ";
      return "Server ";
    }
    return "";  // a domain controller names no edition
  }
  if (product_options == nullptr) return "";
  if (SameIgnoringCase(product_options, "WINNT")) return "Professional ";
  if (SameIgnoringCase(product_options, "LANMANNT")) return "Server ";
  if (SameIgnoringCase(product_options, "SERVERNT")) return "Advanced Server ";
  return "";
}

}  // namespace

std::string DescribeOS(const OSVersionRecord& record, const char* product_options) {
  switch (record.platform_id) {
    case kPlatformWin32s:
      return "Microsoft Win32s ";
    case kPlatformWindows9x:
      return DescribeWindows9x(record);
    case kPlatformNT:
      break;
    default:
      return std::string();
  }
  std::string text = NTProductName(record);
  text += NTEdition(record, product_options);
  unsigned build = static_cast<unsigned>(record.build_number & 0xFFFF);
  if (record.major_version >= 5) {
    text += ks::Format("%s (Build %u)", record.service_pack.c_str(), build);
  } else {
    text += ks::Format("version %lu.%lu %s (Build %u)", record.major_version, record.minor_version,
                       record.service_pack.c_str(), build);
  }
  return text;
}
