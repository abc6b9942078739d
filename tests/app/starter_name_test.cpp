#include "app/starter_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string ClientOf(const char* file_name) {
  char client[512];
  return ClientNameFromFileName(file_name, client, sizeof client) ? std::string(client) : "<refused>";
}

TEST(ClientNameFromFileName, TakesThePartBeforeStarter) {
  EXPECT_EQ(ClientOf("KestrelonStarter.exe"), "Kestrelon");
  EXPECT_EQ(ClientOf("KestrelonStarter (2).exe"), "Kestrelon");
  EXPECT_EQ(ClientOf("gardolo_starter.exe"), "gardolo_");
}

TEST(ClientNameFromFileName, CapitalStarterWinsEvenWhenLowerCaseComesFirst) {
  EXPECT_EQ(ClientOf("xstarterYStarter.exe"), "xstarterY");
}

TEST(ClientNameFromFileName, OtherNamesAreRefused) {
  EXPECT_EQ(ClientOf("setup.exe"), "<refused>");
  EXPECT_EQ(ClientOf("STARTER.exe"), "<refused>");
  // Nothing before the word: no client, and no protocol to register.
  EXPECT_EQ(ClientOf("Starter.exe"), "<refused>");
  EXPECT_EQ(ClientOf(nullptr), "<refused>");
}

}  // namespace
