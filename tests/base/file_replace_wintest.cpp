// Rewriting a file whole: the new text replaces the old in one step, and a
// file another program holds open is still rewritten in place.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "base/file_data.h"
#include "base/handles_win.h"
#include "fixtures/log_capture.h"
#include "fixtures/win_test_util_win.h"

namespace {

class ReplaceTextFile : public ::testing::Test {
 protected:
  kstest::TempDir dir{"replace"};
  std::string path = dir.path() + "\\Cache.xml";
  LogCapture log;
};

TEST_F(ReplaceTextFile, NewTextReplacesTheOldAndNothingIsLeftBeside) {
  ASSERT_TRUE(kstest::WriteFile(path, std::string(100000, 'o')));
  ASSERT_TRUE(Utility::ReplaceTextFile("Test", path.c_str(), "one\ntwo"));
  EXPECT_EQ(kstest::ReadFileOrEmpty(path), "one\r\ntwo");
  EXPECT_FALSE(kstest::FileExists(path + ".new"));
  EXPECT_TRUE(log.Records().empty()) << log.Dump();
}

TEST_F(ReplaceTextFile, AHiddenFileStaysHidden) {
  ASSERT_TRUE(kstest::WriteFile(path, "old"));
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(Utility::ReplaceTextFile("Test", path.c_str(), "new"));
  EXPECT_EQ(kstest::ReadFileOrEmpty(path), "new");
  EXPECT_NE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
}

TEST_F(ReplaceTextFile, AFileHeldOpenWithoutDeleteSharingIsRewrittenInPlace) {
  ASSERT_TRUE(kstest::WriteFile(path, "old text"));
  ks::UniqueHandle holder(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder);
  EXPECT_TRUE(Utility::ReplaceTextFile("Test", path.c_str(), "new"));
  holder.reset();
  EXPECT_EQ(kstest::ReadFileOrEmpty(path), "new");
  EXPECT_FALSE(kstest::FileExists(path + ".new"));
}

}  // namespace
