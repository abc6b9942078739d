// The unpacker on real files under Wine: directories, replaced files, a file
// held by another program, the archive's deletion, failures and hostile names.
#include "package/zlibpp_win.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "base/transient_retry_win.h"
#include "base/wide_text.h"
#include "package/package_writer.h"
#include "fixtures/log_capture.h"
#include "fixtures/raw_package.h"
#include "fixtures/win_test_util_win.h"

namespace {

using kstest::RawEntry;
using kstest::U32;
using kstest::WrittenEntry;

class UnZip : public ::testing::Test {
 protected:
  UnZip() : archive_(dir_.File("PCClient.zip")), destination_(dir_.File("out")) {}

  bool Run(const std::string& archive_bytes, const std::string& destination) {
    EXPECT_TRUE(kstest::WriteFile(archive_, archive_bytes));
    CZLib unpacker;
    return unpacker.UnZip(archive_.c_str(), destination.c_str());
  }
  std::string Out(const std::string& name) const { return kstest::ReadFileOrEmpty(destination_ + "\\" + name); }

  kstest::TempDir dir_;
  std::string archive_;
  std::string destination_;
};

TEST_F(UnZip, EmptyArchiveIsCompleteAndDeleted) {
  EXPECT_TRUE(Run("", destination_));
  EXPECT_FALSE(kstest::FileExists(archive_));
  EXPECT_FALSE(kstest::FileExists(destination_));
}

TEST_F(UnZip, WritesTreeCreatesDirectoriesAndReplacesFiles) {
  LogCapture log;
  CreateDirectoryW(Widen(destination_.c_str()).c_str(), nullptr);
  CreateDirectoryW(Widen((destination_ + "\\x").c_str()).c_str(), nullptr);
  ASSERT_TRUE(kstest::WriteFile(destination_ + "\\a.txt", "an older and longer content"));
  std::string big(3 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 24);
  EXPECT_TRUE(Run(WrittenEntry("a.txt", "alpha") + WrittenEntry("x\\y\\z.bin", big) + std::string(3, '\x01'), destination_ + "\\"));
  EXPECT_EQ(Out("a.txt"), "alpha");
  EXPECT_TRUE(Out("x\\y\\z.bin") == big);
  EXPECT_FALSE(kstest::FileExists(archive_));
  EXPECT_TRUE(log.Has("enter " + archive_ + " to " + destination_ + "\\")) << log.Dump();
}

TEST_F(UnZip, MissingDestinationIsCreatedForTheFirstEntry) {
  std::string deep = dir_.File("new\\deeper");
  EXPECT_TRUE(Run(WrittenEntry("a.txt", "A"), deep));
  EXPECT_EQ(kstest::ReadFileOrEmpty(deep + "\\a.txt"), "A");
}

// A scanner lets go of the file in a moment: the entry waits for it. One that
// keeps it past the run's retry time ends the unpack there, naming it.
TEST_F(UnZip, HeldFileIsWaitedForThenEndsTheUnpack) {
  CreateDirectoryW(Widen(destination_.c_str()).c_str(), nullptr);
  std::string held_path = destination_ + "\\held.dll";
  ASSERT_TRUE(kstest::WriteFile(held_path, "in use"));
  for (DWORD hold_ms : {300, 1500}) {
    DeleteFileW(Widen((destination_ + "\\z.txt").c_str()).c_str());
    ks::ResetTransientRetryBudget(1000);
    ks::UniqueHandle held(
        CreateFileW(Widen(held_path.c_str()).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    std::thread release([&] {
      Sleep(hold_ms);
      held.reset();
    });
    LogCapture log;
    bool ok = Run(WrittenEntry("a.txt", "A") + WrittenEntry("held.dll", std::string(20000, 'L')) +
                      WrittenEntry("z.txt", "Z"),
                  destination_);
    release.join();
    if (hold_ms < 1000) {
      EXPECT_TRUE(ok) << log.Dump();
      EXPECT_EQ(Out("held.dll"), std::string(20000, 'L'));
      EXPECT_EQ(Out("z.txt"), "Z");
      EXPECT_TRUE(log.HasFragment("open " + held_path + ": held by another program (error code: 32, ")) << log.Dump();
      continue;
    }
    EXPECT_FALSE(ok);
    EXPECT_FALSE(kstest::FileExists(destination_ + "\\z.txt")) << "nothing after it is written";
    EXPECT_TRUE(kstest::FileExists(archive_));
    EXPECT_TRUE(log.HasFragment("can't write " + held_path + ", error code: 32, ")) << log.Dump();
    EXPECT_TRUE(log.HasFragment(", given up after ")) << log.Dump();
  }
  ks::ResetTransientRetryBudget();
}

TEST_F(UnZip, CorruptOrCutBodiesFailAndKeepTheArchive) {
  std::string body;
  ASSERT_TRUE(package::CompressBody("0123456789abcdef0123456789", 26, &body));
  std::string corrupt = body;
  corrupt[corrupt.size() - 2] ^= 0x40;
  for (const std::string& bad : {RawEntry("b.txt", corrupt),
                                 RawEntry("b.txt", body).substr(0, RawEntry("b.txt", body).size() - 4)}) {
    LogCapture log;
    EXPECT_FALSE(Run(WrittenEntry("a.txt", "A") + bad, destination_));
    EXPECT_TRUE(log.Has("iErr != Z_OK && iErr != Z_STREAM_END")) << log.Dump();
    EXPECT_TRUE(kstest::FileExists(archive_));
    EXPECT_EQ(Out("a.txt"), "A");
  }
}

TEST_F(UnZip, ArchiveThatCannotBeOpened) {
  LogCapture log;
  CZLib unpacker;
  std::string missing = dir_.File("missing.zip");
  EXPECT_FALSE(unpacker.UnZip(missing.c_str(), destination_.c_str()));
  EXPECT_TRUE(log.Has("can't open " + missing));
  ASSERT_GE(log.Records().size(), 2u);
  EXPECT_EQ(log.Records()[1].operation, "CCZLib::UnZip");
  EXPECT_EQ(log.Records()[1].message.compare(0, 15, "Error code: 2, "), 0) << log.Dump();
}

TEST_F(UnZip, HostileNamesWriteNothingOutsideTheDestination) {
  std::string outside = dir_.File("evil.txt");
  for (const std::string& name : {std::string("..\\evil.txt"), std::string("sub\\..\\..\\evil.txt"),
                                  std::string("../evil.txt"), outside, "\\" + outside.substr(3)}) {
    LogCapture log;
    EXPECT_FALSE(Run(WrittenEntry("a.txt", "A") + RawEntry(name, ""), destination_)) << name;
    EXPECT_FALSE(kstest::FileExists(outside)) << name;
    EXPECT_TRUE(kstest::FileExists(archive_));
    EXPECT_TRUE(log.HasFragment("refused name")) << log.Dump();
  }
  // A body of 2^31 bytes or more is refused before anything is created.
  LogCapture log;
  std::string huge = U32(6) + std::string("h.txt\0", 6) + U32(0x80000000u) + std::string(2, '\0') + "x";
  EXPECT_FALSE(Run(huge, destination_));
  EXPECT_FALSE(kstest::FileExists(destination_ + "\\h.txt"));
  EXPECT_TRUE(log.Has("lFileLength too large: 2147483648"));
}

TEST_F(UnZip, TargetPathBeyondTheSystemLimitIsRefused) {
  LogCapture log;
  std::string name = std::string(120, 'd') + "\\" + std::string(150, 'f');
  EXPECT_FALSE(Run(WrittenEntry(name, "A"), destination_));
  EXPECT_TRUE(log.HasFragment("target path too long: ")) << log.Dump();
  EXPECT_FALSE(kstest::FileExists(destination_));
}

}  // namespace
