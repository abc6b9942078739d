#include "system/user_directory_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string SystemDirectory(const char* current, const char* product, bool* adjusted = nullptr) {
  char out[512] = "junk";
  bool changed = false;
  bool ok = SystemAccountApplicationDirectory(current, product, out, sizeof out, &changed);
  if (adjusted) *adjusted = changed;
  return ok ? std::string(out) : "<refused:" + std::string(out) + ">";
}

TEST(ProductFolderName, EmptyAndLinvoraMeanKestrelon) {
  EXPECT_STREQ(ProductFolderName(""), "Kestrelon");
  EXPECT_STREQ(ProductFolderName(nullptr), "Kestrelon");
  EXPECT_STREQ(ProductFolderName("Linvora"), "Kestrelon");
  EXPECT_STREQ(ProductFolderName("linvora"), "linvora");
  EXPECT_STREQ(ProductFolderName("Gardolo"), "Gardolo");
}

TEST(IsSystemAccountName, AnyCaseOfSystem) {
  EXPECT_TRUE(IsSystemAccountName("SYSTEM"));
  EXPECT_TRUE(IsSystemAccountName("system"));
  EXPECT_TRUE(IsSystemAccountName("SyStEm"));
  EXPECT_FALSE(IsSystemAccountName("SYSTEM2"));
  EXPECT_FALSE(IsSystemAccountName(""));
  EXPECT_FALSE(IsSystemAccountName(nullptr));
}

TEST(SystemAccountApplicationDirectory, ClimbsOutOfTheProductFolders) {
  bool adjusted = false;
  EXPECT_EQ(SystemDirectory("C:\\X\\Kestrelon\\Kestrelon\\bin", "Kestrelon", &adjusted),
            "C:\\X\\Kestrelon\\Kestrelon\\bin\\..\\..");
  EXPECT_TRUE(adjusted);
  EXPECT_EQ(SystemDirectory("C:\\X\\Kestrelon\\bin", "Kestrelon"), "C:\\X\\Kestrelon\\bin\\..");
  EXPECT_EQ(SystemDirectory("C:\\Other\\bin", "Kestrelon", &adjusted), "C:\\Other\\bin");
  EXPECT_FALSE(adjusted);
  EXPECT_EQ(SystemDirectory("C:\\X\\Fennimo\\Kestrelon", "Fennimo"), "C:\\X\\Fennimo\\Kestrelon\\..\\..");
  EXPECT_EQ(SystemDirectory("C:\\X\\kestrelon\\bin", "Kestrelon"), "C:\\X\\kestrelon\\bin");  // case-sensitive
}

TEST(SystemAccountApplicationDirectory, ResultThatDoesNotFitIsEmptyNotCut) {
  std::string deep = "C:\\" + std::string(500, 'd') + "\\Kestrelon\\Kestrelon";
  EXPECT_EQ(SystemDirectory(deep.c_str(), "Kestrelon"), "<refused:>");
}

}  // namespace
