#include "system/status_file_handler_win.h"

#include <gtest/gtest.h>

#include <string>

#include "fixtures/log_capture.h"
#include "fixtures/win_test_util_win.h"

namespace {

const char kOpen[] = "<__ClientCalledToLaunch__>";
const char kClose[] = "</__ClientCalledToLaunch__>";
const char kDefault[] = "<__ClientCalledToLaunch__>Y</__ClientCalledToLaunch__>";

class StatusFile : public ::testing::Test {
 protected:
  std::string StatusPath() const { return dir.File("setup_status.txt"); }
  kstest::TempDir dir{"status"};
  StatusFileHandler handler;
  LogCapture log;
};

TEST_F(StatusFile, ReadingAFolderWithoutTheFileCreatesItWithY) {
  char value[512] = "junk";
  ASSERT_TRUE(handler.ReadStatus(0, dir.path().c_str(), kOpen, kClose, value));
  EXPECT_STREQ(value, "Y");
  EXPECT_EQ(kstest::ReadFileOrEmpty(StatusPath()), kDefault);
}

TEST_F(StatusFile, ReadingAFileWithoutTheClosingTagFailsWithAnEmptyValue) {
  kstest::WriteFile(StatusPath(), "<__ClientCalledToLaunch__>N");
  char value[512] = "junk";
  EXPECT_FALSE(handler.ReadStatus(0, dir.path().c_str(), kOpen, kClose, value));
  EXPECT_STREQ(value, "");
  EXPECT_TRUE(log.Has("failed to find <__ClientCalledToLaunch__> in <__ClientCalledToLaunch__>N")) << log.Dump();
}

TEST_F(StatusFile, WritingChangesOnlyTheValue) {
  kstest::WriteFile(StatusPath(), "head\r\n<__ClientCalledToLaunch__>N</__ClientCalledToLaunch__>\r\ntail");
  ASSERT_TRUE(handler.WriteStatus(0, dir.path().c_str(), kOpen, kClose, "Y"));
  EXPECT_EQ(kstest::ReadFileOrEmpty(StatusPath()),
            "head\r\n<__ClientCalledToLaunch__>Y</__ClientCalledToLaunch__>\r\ntail");
  char value[512];
  ASSERT_TRUE(handler.ReadStatus(0, dir.path().c_str(), kOpen, kClose, value));
  EXPECT_STREQ(value, "Y");
}

TEST_F(StatusFile, WritingWithoutAFileStartsFromTheDefaultContent) {
  ASSERT_TRUE(handler.WriteStatus(0, dir.path().c_str(), kOpen, kClose, "N"));
  EXPECT_EQ(kstest::ReadFileOrEmpty(StatusPath()), "<__ClientCalledToLaunch__>N</__ClientCalledToLaunch__>");
}

TEST_F(StatusFile, WritingAFileWithoutTheFieldFailsAndKeepsIt) {
  kstest::WriteFile(StatusPath(), "nothing here");
  EXPECT_FALSE(handler.WriteStatus(0, dir.path().c_str(), kOpen, kClose, "Y"));
  EXPECT_EQ(kstest::ReadFileOrEmpty(StatusPath()), "nothing here");
  EXPECT_TRUE(log.Has("failed to replace Y for <__ClientCalledToLaunch__> in nothing here")) << log.Dump();
}

TEST_F(StatusFile, OtherTypesAreRefusedWithoutTouchingFiles) {
  char value[512] = "keep";
  EXPECT_FALSE(handler.ReadStatus(1, dir.path().c_str(), kOpen, kClose, value));
  EXPECT_FALSE(handler.WriteStatus(-1, dir.path().c_str(), kOpen, kClose, "Y"));
  EXPECT_STREQ(value, "keep");
  EXPECT_FALSE(kstest::FileExists(StatusPath()));
  EXPECT_TRUE(log.Has("Invalid iStatusFileType = 1"));
  EXPECT_TRUE(log.Has("Invalid iStatusFileType = -1"));
}

TEST_F(StatusFile, AMissingFolderIsNotCreated) {
  std::string missing = dir.File("no_such_folder");
  char value[512];
  EXPECT_FALSE(handler.ReadStatus(0, missing.c_str(), kOpen, kClose, value));
  EXPECT_FALSE(handler.WriteStatus(0, missing.c_str(), kOpen, kClose, "Y"));
  EXPECT_EQ(log.Count("failed to open " + missing + "\\setup_status.txt for writing"), 2) << log.Dump();
  EXPECT_FALSE(kstest::FileExists(missing));
}

}  // namespace
