#include "crash/os_description.h"

#include <gtest/gtest.h>

namespace {

OSVersionRecord NT(unsigned long major, unsigned long minor, unsigned long build, const char* service_pack,
                   unsigned char product_type = 1, unsigned short suite = 0) {
  OSVersionRecord record;
  record.extended = true;
  record.platform_id = kPlatformNT;
  record.major_version = major;
  record.minor_version = minor;
  record.build_number = build;
  record.service_pack = service_pack;
  record.product_type = product_type;
  record.suite_mask = suite;
  return record;
}

OSVersionRecord Win9x(unsigned long minor, const char* service_pack) {
  OSVersionRecord record;
  record.platform_id = kPlatformWindows9x;
  record.major_version = 4;
  record.minor_version = minor;
  record.build_number = 0x04000950;
  record.service_pack = service_pack;
  return record;
}

TEST(DescribeOS, NTFamilyNamesProductEditionServicePackAndBuild) {
  EXPECT_EQ(DescribeOS(NT(5, 1, 2600, "Service Pack 3"), nullptr),
            "Microsoft Windows XP Professional Service Pack 3 (Build 2600)");
  EXPECT_EQ(DescribeOS(NT(5, 1, 2600, "", 1, 0x0200), nullptr), "Microsoft Windows XP Personal  (Build 2600)");
  EXPECT_EQ(DescribeOS(NT(10, 0, 19045, ""), nullptr), "Microsoft Windows Vista Professional  (Build 19045)");
  EXPECT_EQ(DescribeOS(NT(5, 0, 2195, "Service Pack 4", 3, 0x0080), nullptr),
            "Microsoft Windows 2000 DataCenter Server Service Pack 4 (Build 2195)");
  EXPECT_EQ(DescribeOS(NT(5, 2, 3790, "Service Pack 2", 3, 0x0002), nullptr),
            "Windows Server 2003 family Advanced Server Service Pack 2 (Build 3790)");
  EXPECT_EQ(DescribeOS(NT(6, 1, 7601, "Service Pack 1", 3), nullptr),
            "Microsoft Windows Vista Server Service Pack 1 (Build 7601)");
  // A domain controller names no edition; 5.3 and later 5.x name no product.
  EXPECT_EQ(DescribeOS(NT(5, 2, 3790, "", 2), nullptr), "Windows Server 2003 family  (Build 3790)");
  EXPECT_EQ(DescribeOS(NT(5, 3, 100, "x"), nullptr), "Professional x (Build 100)");
  // Only the low 16 bits of the build number count.
  EXPECT_EQ(DescribeOS(NT(5, 1, 0x05010A28, "Service Pack 3"), nullptr),
            "Microsoft Windows XP Professional Service Pack 3 (Build 2600)");
}

TEST(DescribeOS, NT4AndOlderShowTheVersionNumbers) {
  EXPECT_EQ(DescribeOS(NT(4, 0, 1381, "Service Pack 6"), nullptr),
            "Microsoft Windows NT Professional version 4.0 Service Pack 6 (Build 1381)");
}

TEST(DescribeOS, BasicRecordTakesTheEditionFromProductType) {
  OSVersionRecord record = NT(5, 0, 2195, "Service Pack 1");
  record.extended = false;
  record.product_type = 3;  // not valid in a basic record, must be ignored
  EXPECT_EQ(DescribeOS(record, "WinNT"), "Microsoft Windows 2000 Professional Service Pack 1 (Build 2195)");
  EXPECT_EQ(DescribeOS(record, "lanmannt"), "Microsoft Windows 2000 Server Service Pack 1 (Build 2195)");
  EXPECT_EQ(DescribeOS(record, "SERVERNT"), "Microsoft Windows 2000 Advanced Server Service Pack 1 (Build 2195)");
  EXPECT_EQ(DescribeOS(record, "other"), "Microsoft Windows 2000 Service Pack 1 (Build 2195)");
}

TEST(DescribeOS, Windows9xAndWin32sStopAfterTheProduct) {
  EXPECT_EQ(DescribeOS(Win9x(0, " C"), nullptr), "Microsoft Windows 95 OSR2 ");
  EXPECT_EQ(DescribeOS(Win9x(0, "C"), nullptr), "Microsoft Windows 95 ");
  EXPECT_EQ(DescribeOS(Win9x(10, " A"), nullptr), "Microsoft Windows 98 SE ");
  EXPECT_EQ(DescribeOS(Win9x(90, " A"), nullptr), "Microsoft Windows Me ");
  EXPECT_EQ(DescribeOS(Win9x(20, ""), nullptr), "");
  OSVersionRecord win32s;
  win32s.platform_id = kPlatformWin32s;
  win32s.major_version = 3;
  EXPECT_EQ(DescribeOS(win32s, nullptr), "Microsoft Win32s ");
  OSVersionRecord unknown = NT(6, 2, 9200, "");
  unknown.platform_id = 3;
  EXPECT_EQ(DescribeOS(unknown, nullptr), "");
}

}  // namespace
