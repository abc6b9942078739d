#include "system/split_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Split(const char* path, size_t capacity = 512) {
  char folder[512] = "junk";
  char name[512] = "junk";
  if (!SplitPath(path, folder, capacity, name, capacity, "\\")) return "<false>";
  return std::string(folder) + "|" + name;
}

TEST(SplitPath, FolderAndLastComponent) {
  EXPECT_EQ(Split("C:\\X\\Kestrelon\\KestrelonStarter.exe"), "C:\\X\\Kestrelon|KestrelonStarter.exe");
  EXPECT_EQ(Split("\\file"), "|file");
  EXPECT_EQ(Split("file"), "|file");
  EXPECT_EQ(Split("C:\\dir\\"), "C:\\dir|");
}

TEST(SplitPath, MissingBuffersAndPartsThatDoNotFit) {
  char buffer[8];
  EXPECT_FALSE(SplitPath(nullptr, buffer, sizeof buffer, buffer, sizeof buffer, "\\"));
  EXPECT_FALSE(SplitPath("a\\b", nullptr, 8, buffer, sizeof buffer, "\\"));
  EXPECT_FALSE(SplitPath("a\\b", buffer, sizeof buffer, nullptr, 8, "\\"));
  EXPECT_EQ(Split("C:\\folder\\name.exe", 8), "<false>");
  EXPECT_EQ(Split("C:\\a\\b.exe", 8), "C:\\a|b.exe");
}

}  // namespace
