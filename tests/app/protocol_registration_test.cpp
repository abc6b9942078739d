#include "app/protocol_registration.h"

#include <gtest/gtest.h>

TEST(DescribeProtocolRegistration, KeysAndQuotedCommand) {
  ProtocolRegistration r = DescribeProtocolRegistration("C:\\Program Files\\A B\\KestrelonStarter.exe", "Kestrelon");
  EXPECT_EQ(r.class_key, "Software\\Classes\\Kestrelon");
  EXPECT_EQ(r.description, "URL:Kestrelon Starter");
  EXPECT_EQ(r.command_key, "Software\\Classes\\Kestrelon\\shell\\open\\command");
  EXPECT_EQ(r.command, "\"C:\\Program Files\\A B\\KestrelonStarter.exe\" %1");
  EXPECT_EQ(r.execute_key, "Software\\Microsoft\\Internet Explorer\\ProtocolExecute\\Kestrelon");
}
