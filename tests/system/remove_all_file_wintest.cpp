#include "system/remove_all_file.h"

#include <gtest/gtest.h>

#include <string>

#include "base/wide_text.h"
#include "fixtures/log_capture.h"
#include "fixtures/win_test_util_win.h"

namespace {

using kstest::MakeDirectory;

void SetAttributes(const std::string& path, DWORD attributes) {
  SetFileAttributesW(Widen(path.c_str()).c_str(), attributes);
}

TEST(RemoveAllFile, RemovesReadOnlyHiddenAndSystemFilesAndTheTree) {
  kstest::TempDir dir;
  std::string root = dir.File("ks_starter_dir");
  MakeDirectory(root);
  MakeDirectory(root + "\\bin");
  MakeDirectory(root + "\\bin\\deep");
  ASSERT_TRUE(kstest::WriteFile(root + "\\a.txt", "a"));
  ASSERT_TRUE(kstest::WriteFile(root + "\\bin\\locked.dll", "l"));
  ASSERT_TRUE(kstest::WriteFile(root + "\\bin\\deep\\h.dat", "h"));
  SetAttributes(root + "\\bin\\locked.dll", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  SetAttributes(root + "\\bin\\deep", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
  SetAttributes(root + "\\bin\\deep\\h.dat", FILE_ATTRIBUTE_READONLY);

  LogCapture log;
  EXPECT_TRUE(Utility::RemoveAllFile(root.c_str(), ""));
  EXPECT_FALSE(kstest::FileExists(root));
  EXPECT_TRUE(log.HasFragment("End of RemoveAllFile: path = " + root + ", ")) << log.Dump();
  for (const CapturedRecord& r : log.Records()) EXPECT_EQ(r.level, 3);
}

TEST(RemoveAllFile, KeepTextKeepsMatchingFilesAndTheirDirectories) {
  kstest::TempDir dir;
  std::string root = dir.File("tree");
  MakeDirectory(root);
  MakeDirectory(root + "\\conf");
  MakeDirectory(root + "\\other");
  ASSERT_TRUE(kstest::WriteFile(root + "\\starter.cfg", "k"));
  ASSERT_TRUE(kstest::WriteFile(root + "\\x.txt", "x"));
  ASSERT_TRUE(kstest::WriteFile(root + "\\other\\y.cfg.bak", "k"));
  ASSERT_TRUE(kstest::WriteFile(root + "\\other\\z.txt", "z"));
  ASSERT_TRUE(kstest::WriteFile(root + "\\conf\\plain.txt", "p"));

  EXPECT_TRUE(Utility::RemoveAllFile(root.c_str(), "cfg"));
  EXPECT_TRUE(kstest::FileExists(root + "\\starter.cfg"));
  EXPECT_TRUE(kstest::FileExists(root + "\\other\\y.cfg.bak"));
  EXPECT_FALSE(kstest::FileExists(root + "\\x.txt"));
  EXPECT_FALSE(kstest::FileExists(root + "\\other\\z.txt"));
  // The keep-text is matched against the whole path: "conf" holds no "cfg".
  EXPECT_FALSE(kstest::FileExists(root + "\\conf"));
}

TEST(RemoveAllFile, MissingOrEmptyPathIsFalse) {
  kstest::TempDir dir;
  EXPECT_FALSE(Utility::RemoveAllFile(dir.File("missing").c_str(), ""));
  EXPECT_FALSE(Utility::RemoveAllFile("", ""));
  EXPECT_FALSE(Utility::RemoveAllFile(nullptr, ""));
}

}  // namespace
