// "setup_status.txt" as it may be found: empty, binary, huge or without its
// closing tag. The handler reads what it can and never replaces the file by a
// shortened or emptied copy of what it could not fully read.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "base/handles_win.h"
#include "base/wide_text.h"
#include "fixtures/hostile_file_win.h"
#include "fixtures/log_capture.h"
#include "fixtures/win_test_util_win.h"
#include "system/status_file_handler_win.h"

namespace {

using kstest::HostileKind;

const char kOpen[] = "<__ClientCalledToLaunch__>";
const char kClose[] = "</__ClientCalledToLaunch__>";
const char kSound[] = "head\r\n<__ClientCalledToLaunch__>N</__ClientCalledToLaunch__>\r\ntail\r\n";

struct Case {
  HostileKind kind;
  bool found;           // ReadStatus finds the value "N"
  const char* failure;  // a fragment of the line logged when the field cannot be read
};

const Case kCases[] = {
    {HostileKind::kEmpty, false, "failed to find <__ClientCalledToLaunch__> in "},
    {HostileKind::kBinary, false, "failed to find <__ClientCalledToLaunch__> in "},
    {HostileKind::kBinaryInside, true, nullptr},
    {HostileKind::kHuge, false, "setup_status.txt: larger than 65536 bytes"},
    {HostileKind::kUnclosed, false, "failed to find <__ClientCalledToLaunch__> in "},
};

TEST(HostileStatusFile, ReadAndWriteNeverShortenTheFile) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(kstest::HostileKindName(c.kind));
    kstest::TempDir dir("hstatus");
    std::string path = dir.File("setup_status.txt");
    ASSERT_TRUE(kstest::WriteHostileFile(path, c.kind, kSound));
    StatusFileHandler handler;
    LogCapture log;

    char value[512] = "";
    EXPECT_EQ(handler.ReadStatus(0, dir.path().c_str(), kOpen, kClose, value), c.found) << log.Dump();
    EXPECT_STREQ(value, c.found ? "N" : "");
    if (c.failure != nullptr) {
      EXPECT_TRUE(log.HasFragment(c.failure)) << log.Dump();
    }
    ASSERT_TRUE(kstest::HostileFileIntact(path, c.kind, kSound)) << "reading changed the file";

    bool written = handler.WriteStatus(0, dir.path().c_str(), kOpen, kClose, "Y");
    EXPECT_EQ(written, c.found) << log.Dump();
    if (!written) {
      EXPECT_TRUE(kstest::HostileFileIntact(path, c.kind, kSound)) << "a failed write changed the file";
      continue;
    }
    // Only the value changed; the bytes after the zero byte and the Ctrl-Z
    // are all still there (the file is a text stream: a lone LF gains a CR).
    std::string expected = kstest::HostileBytes(c.kind, kSound);
    expected.replace(expected.find(">N<") + 1, 1, "Y");
    EXPECT_EQ(kstest::ReadFileOrEmpty(path), kstest::AsRewrittenText(expected));
    ASSERT_TRUE(handler.ReadStatus(0, dir.path().c_str(), kOpen, kClose, value));
    EXPECT_STREQ(value, "Y");
  }
}

// A status file that another program holds open without sharing reads is
// there but cannot be read: it is not a missing file, so it must not be
// replaced by the default content, though it could be written.
TEST(HostileStatusFile, FileThatCannotBeReadIsNotReplacedByTheDefault) {
  kstest::TempDir dir("hstatus");
  std::string path = dir.File("setup_status.txt");
  const std::string kTheirs = "<__ClientCalledToLaunch__>N</__ClientCalledToLaunch__><__Other__>x</__Other__>";
  ASSERT_TRUE(kstest::WriteFile(path, kTheirs));
  {
    ks::UniqueHandle holder(CreateFileW(Widen(path.c_str()).c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    StatusFileHandler handler;
    LogCapture log;
    char value[512] = "";
    EXPECT_FALSE(handler.ReadStatus(0, dir.path().c_str(), kOpen, kClose, value));
    EXPECT_FALSE(handler.WriteStatus(0, dir.path().c_str(), kOpen, kClose, "Y"));
    EXPECT_STREQ(value, "");
    EXPECT_EQ(log.Count("failed to read " + path), 2) << log.Dump();
  }
  EXPECT_EQ(kstest::ReadFileOrEmpty(path), kTheirs);
}

}  // namespace
