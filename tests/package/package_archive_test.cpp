// The archive format, the entry reader, the inflater and the unpack walk,
// over memory (portable, also run natively under the sanitizers).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "package/memory_target.h"
#include "package/package_entry.h"
#include "package/package_inflate.h"
#include "package/package_unpack.h"
#include "package/package_writer.h"
#include "fixtures/log_capture.h"
#include "fixtures/raw_package.h"

using package::EntryStatus;
using package::InflateResult;

namespace {

using kstest::RawEntry;
using kstest::U32;
using kstest::WrittenEntry;

std::string Zlib(const std::string& content) {
  std::string body;
  EXPECT_TRUE(package::CompressBody(content.data(), content.size(), &body));
  return body;
}

struct Outcome {
  bool ok;
  MemoryTarget target;
};

void Unpack(const std::string& archive, Outcome* run, const char* destination = "D:\\dest") {
  package::MemorySource source(archive);
  run->ok = package::UnpackEntries(source, destination, run->target);
}

class SinkThatFails : public package::ByteSink {
 public:
  size_t Write(const void*, size_t) override { return 0; }
};

TEST(EntryReader, ReadsTheDocumentedExample) {
  std::string body = Zlib("hello");
  std::string archive = U32(6) + std::string("a.txt\0", 6) + U32(static_cast<uint32_t>(body.size())) +
                        std::string("\x34\x12", 2) + body;
  package::MemorySource source(archive);
  uint32_t name_length = 0;
  ASSERT_EQ(package::ReadNameLength(source, &name_length), EntryStatus::kOk);
  EXPECT_EQ(name_length, 6u);
  char name[package::kNameBufferSize];
  ASSERT_EQ(package::ReadEntryName(source, name_length, name), EntryStatus::kOk);
  EXPECT_STREQ(name, "a.txt");
  uint32_t length = 0;
  uint16_t mask = 0;
  ASSERT_EQ(package::ReadEntrySizes(source, &length, &mask), EntryStatus::kOk);
  EXPECT_EQ(length, body.size());
  EXPECT_EQ(mask, 0x1234);
  EXPECT_EQ(source.Position(), 16u);
}

TEST(EntryReader, NameLengthBounds) {
  char name[package::kNameBufferSize];
  std::string big(780, 'n');
  big[779] = '\0';
  package::MemorySource fits(big);
  EXPECT_EQ(package::ReadEntryName(fits, 780, name), EntryStatus::kOk);
  EXPECT_EQ(std::string(name).size(), 779u);

  std::string bigger(781, '\0');
  package::MemorySource too_long(bigger);
  EXPECT_EQ(package::ReadEntryName(too_long, 781, name), EntryStatus::kNameLengthInvalid);
  EXPECT_EQ(too_long.Position(), 0u) << "nothing is read for a refused length";
  package::MemorySource zero(bigger);
  EXPECT_EQ(package::ReadEntryName(zero, 0, name), EntryStatus::kNameLengthInvalid);
}

TEST(EntryNames, OrdinaryNamesStayBelowTheDestination) {
  for (const char* name : {"a.txt", "bin\\tool.dll", "x\\y\\z.bin", ".\\a", "a\\..\\b", "a\\\\b", "...a",
                           "a..", "lpt10", "consoles.txt", "dir\\", "COM\xC2\xB4", "com\xC2\xB9x", "LPT\xE2\x81\xB4"}) {
    EXPECT_TRUE(package::IsSafeEntryName(name)) << name;
  }
}

TEST(EntryNames, NamesLeadingElsewhereAreRefused) {
  for (const char* name : {"", "\\a", "/a", "\\\\server\\share\\a", "C:\\x", "c:x", "a:b", "..", "..\\x",
                           "../x", "a\\..\\..\\x", "a/../../x", "a\\b\\..\\..\\..\\x", "...", "x\\...\\y",
                           "x\\ ..\\y", ". .", "NUL", "aux.txt", "x\\Con", "COM1", "lpt9.log", "CONOUT$",
                           "nul .txt", "COM0", "lpt0.txt", "COM\xC2\xB9", "x\\com\xC2\xB2.log", "LPT\xC2\xB3 .txt"}) {
    EXPECT_FALSE(package::IsSafeEntryName(name)) << name;
  }
}

TEST(EntryNames, TargetPathsWithAndWithoutTrailingSeparator) {
  char a[package::kTargetPathBufferSize], b[package::kTargetPathBufferSize];
  ASSERT_TRUE(package::BuildTargetPath("D:\\dest", "x\\y.bin", a, sizeof a));
  ASSERT_TRUE(package::BuildTargetPath("D:\\dest\\", "x\\y.bin", b, sizeof b));
  EXPECT_STREQ(a, "D:\\dest\\x\\y.bin");
  EXPECT_STREQ(a, b);
  char small[8];
  EXPECT_FALSE(package::BuildTargetPath("D:\\dest", "x", small, sizeof small));

  char directory[package::kTargetPathBufferSize];
  EXPECT_TRUE(package::DirectoryToCreate(a, directory, sizeof directory));
  EXPECT_STREQ(directory, "D:\\dest\\x");
  ASSERT_TRUE(package::BuildTargetPath("C:", "a.txt", a, sizeof a));
  EXPECT_STREQ(a, "C:\\a.txt");
  EXPECT_FALSE(package::DirectoryToCreate(a, directory, sizeof directory)) << "a bare drive is not created";
  EXPECT_FALSE(package::DirectoryToCreate("a.txt", directory, sizeof directory));
}

TEST(Inflate, RoundTripOfLargeAndEmptyContent) {
  std::string content;
  for (int i = 0; i < 300000; ++i) content += static_cast<char>((i * 31u) % 251u);
  content += std::string(3 << 20, '\0');  // long runs: much output per input buffer
  for (const std::string& text : {content, std::string()}) {
    std::string body = Zlib(text), out;
    package::MemorySource source(body);
    package::StringSink sink(&out);
    EXPECT_EQ(package::InflateBody(source, static_cast<uint32_t>(body.size()), sink), InflateResult::kOk);
    EXPECT_TRUE(out == text);
    EXPECT_EQ(source.Position(), body.size());
  }
}

TEST(Inflate, CorruptCutShortTrailingAndEmptyBodies) {
  std::string body = Zlib(std::string(20000, 'q') + "tail");
  std::string out;
  package::StringSink sink(&out);

  std::string corrupt = body;
  corrupt[corrupt.size() / 2] ^= 0x55;
  corrupt[corrupt.size() - 1] ^= 0x55;  // the checksum at least
  package::MemorySource corrupt_source(corrupt);
  EXPECT_EQ(package::InflateBody(corrupt_source, static_cast<uint32_t>(corrupt.size()), sink),
            InflateResult::kStreamError);

  std::string cut = body.substr(0, body.size() - 3);
  package::MemorySource cut_source(cut);
  EXPECT_EQ(package::InflateBody(cut_source, static_cast<uint32_t>(body.size()), sink), InflateResult::kStreamError);
  package::MemorySource cut_declared(body);
  EXPECT_EQ(package::InflateBody(cut_declared, static_cast<uint32_t>(body.size() - 3), sink),
            InflateResult::kStreamError);

  std::string longer = body + std::string(5000, 'x');
  package::MemorySource longer_source(longer);
  uint32_t unused = 0;
  EXPECT_EQ(package::InflateBody(longer_source, static_cast<uint32_t>(longer.size()), sink, &unused),
            InflateResult::kTrailingBytes);
  EXPECT_EQ(unused, 5000u);

  std::string next_entry = "next entry";
  package::MemorySource empty(next_entry);
  EXPECT_EQ(package::InflateBody(empty, 0, sink), InflateResult::kStreamError);
  EXPECT_EQ(empty.Position(), 0u);

  SinkThatFails full_disk;
  package::MemorySource source(body);
  EXPECT_EQ(package::InflateBody(source, static_cast<uint32_t>(body.size()), full_disk), InflateResult::kWriteError);
}

TEST(Unpack, EmptyArchiveAndStrayBytesAreComplete) {
  for (size_t stray = 0; stray <= 3; ++stray) {
    Outcome run;
    Unpack(WrittenEntry("a.txt", "A") + std::string(stray, '\x7f'), &run);
    EXPECT_TRUE(run.ok) << stray;
    EXPECT_EQ(run.target.files["D:\\dest\\a.txt"], "A");
  }
  Outcome empty;
  Unpack("", &empty);
  EXPECT_TRUE(empty.ok);
  EXPECT_TRUE(empty.target.files.empty());
  EXPECT_TRUE(empty.target.directories.empty());
}

TEST(Unpack, WritesFilesAndCreatesTheirDirectories) {
  LogCapture log;
  Outcome run;
  Unpack(WrittenEntry("a.txt", "alpha") + WrittenEntry("x\\y\\z.bin", std::string(100000, 'z')) + WrittenEntry("x\\b.txt", "beta"),
         &run, "D:\\dest\\");
  ASSERT_TRUE(run.ok) << log.Dump();
  EXPECT_EQ(run.target.files.size(), 3u);
  EXPECT_EQ(run.target.files["D:\\dest\\a.txt"], "alpha");
  EXPECT_EQ(run.target.files["D:\\dest\\x\\y\\z.bin"], std::string(100000, 'z'));
  EXPECT_EQ(run.target.files["D:\\dest\\x\\b.txt"], "beta");
  EXPECT_EQ(run.target.directories, (std::vector<std::string>{"D:\\dest", "D:\\dest\\x\\y", "D:\\dest\\x"}));
  EXPECT_EQ(run.target.error_lines, 0);
  EXPECT_TRUE(log.Records().empty()) << log.Dump();

  Outcome drive;
  Unpack(WrittenEntry("a.txt", "A"), &drive, "C:");
  EXPECT_TRUE(drive.ok);
  EXPECT_TRUE(drive.target.directories.empty());
  EXPECT_EQ(drive.target.files["C:\\a.txt"], "A");
}

TEST(Unpack, FileThatCannotBeCreatedEndsTheWalk) {
  LogCapture log;
  Outcome run;
  run.target.locked = {"D:\\dest\\b.txt"};
  Unpack(WrittenEntry("a.txt", "A") + WrittenEntry("b.txt", std::string(50000, 'b')) + WrittenEntry("c.txt", "C"),
         &run);
  EXPECT_FALSE(run.ok);
  EXPECT_EQ(run.target.files["D:\\dest\\a.txt"], "A");
  EXPECT_EQ(run.target.files.count("D:\\dest\\b.txt"), 0u);
  EXPECT_EQ(run.target.files.count("D:\\dest\\c.txt"), 0u) << "nothing after it is written";
  EXPECT_EQ(run.target.failed, std::vector<std::string>{"D:\\dest\\b.txt"});
  EXPECT_EQ(run.target.error_lines, 1);
  EXPECT_FALSE(log.HasFragment("skip to the next one")) << log.Dump();
}

TEST(Unpack, FailuresEndTheWalkWithTheirLogLines) {
  struct Case {
    std::string archive;
    const char* message;
  };
  std::string good = WrittenEntry("a.txt", "A");
  std::string body = Zlib(std::string(9000, 'k'));
  std::string corrupt = body;
  corrupt[4] ^= 0x7f;
  const Case cases[] = {
      {good + RawEntry(6, std::string("b.txt\0", 6), static_cast<uint32_t>(corrupt.size()), corrupt),
       "iErr != Z_OK && iErr != Z_STREAM_END"},
      {good + RawEntry(6, std::string("b.txt\0", 6), static_cast<uint32_t>(body.size()), body.substr(0, body.size() - 5)),
       "iErr != Z_OK && iErr != Z_STREAM_END"},
      {good + U32(6) + std::string("b.txt\0", 6) + "\x05\x00", "fread lFileLength error"},
      {good + U32(6) + std::string("b.txt\0", 6) + U32(3) + "\x01", "fread iFileMask error"},
      {good + U32(6), "fread error"},
      {good + U32(0) + U32(0), "invalid name length 0"},
      {good + U32(781) + std::string(781, 'a'), "invalid name length 781"},
      {good + U32(0xFFFFFFFFu) + "abc", "invalid name length 4294967295"},
      {good + RawEntry(3, "abc", 0, ""), "name without its zero byte"},
      {good + RawEntry(6, std::string("b.txt\0", 6), 0x80000000u, ""), "lFileLength too large: 2147483648"},
      {good + RawEntry(6, std::string("b.txt\0", 6), static_cast<uint32_t>(body.size() + 2), body + "zz"),
       "2 bytes follow the zlib stream of D:\\dest\\b.txt"},
  };
  for (const Case& c : cases) {
    LogCapture log;
    Outcome run;
    Unpack(c.archive, &run);
    EXPECT_FALSE(run.ok) << c.message;
    EXPECT_TRUE(log.Has(c.message)) << c.message << "\n" << log.Dump();
    EXPECT_EQ(run.target.error_lines, 1) << c.message;
    EXPECT_EQ(run.target.files["D:\\dest\\a.txt"], "A") << "files before the failure stay";
    for (const CapturedRecord& r : log.Records()) EXPECT_EQ(r.operation, "CZLib::UnZip");
  }
}

TEST(Unpack, DirectoryAndWriteFailures) {
  LogCapture log;
  Outcome no_directory;
  no_directory.target.directory_result = 5;
  Unpack(WrittenEntry("x\\a.txt", "A"), &no_directory);
  EXPECT_FALSE(no_directory.ok);
  EXPECT_TRUE(log.Has("SHCreateDirectoryEx error: D:\\dest\\x\\a.txt, error code = 5")) << log.Dump();
  EXPECT_EQ(no_directory.target.opened, 0);

  for (int accepted : {80, 183}) {
    Outcome exists;
    exists.target.directory_result = accepted;
    Unpack(WrittenEntry("x\\a.txt", "A"), &exists);
    EXPECT_TRUE(exists.ok) << accepted;
  }

  Outcome lost_write;
  lost_write.target.close_result = false;
  Unpack(WrittenEntry("a.txt", "A"), &lost_write);
  EXPECT_FALSE(lost_write.ok);
  EXPECT_TRUE(log.Has("fwrite error"));
}

TEST(Unpack, HostileNamesWriteNothing) {
  const char* hostile[] = {"..\\evil.txt", "a\\..\\..\\evil.txt", "C:\\evil.txt", "c:evil.txt", "\\evil.txt",
                           "../evil.txt", "nul"};
  for (const char* name : hostile) {
    LogCapture log;
    Outcome run;
    Unpack(RawEntry(static_cast<uint32_t>(strlen(name) + 1), std::string(name, strlen(name) + 1), 0, ""), &run);
    EXPECT_FALSE(run.ok) << name;
    EXPECT_TRUE(run.target.directories.empty()) << name;
    EXPECT_EQ(run.target.opened, 0) << name;
    EXPECT_TRUE(log.HasFragment("refused name")) << log.Dump();
  }
  // A target path the file system cannot take is refused before anything is made.
  LogCapture log;
  Outcome long_path;
  Unpack(WrittenEntry(std::string(300, 'n'), "A"), &long_path);
  EXPECT_FALSE(long_path.ok);
  EXPECT_TRUE(long_path.target.directories.empty());
  EXPECT_TRUE(log.HasFragment("target path too long: D:\\dest\\nnn"));
}

TEST(Writer, RefusesWhatTheUnpackerWouldRefuse) {
  std::string archive;
  EXPECT_FALSE(package::AppendEntry(&archive, "..\\x", "b"));
  EXPECT_FALSE(package::AppendEntry(&archive, "", "b"));
  EXPECT_FALSE(package::AppendEntry(&archive, std::string(780, 'n'), "b"));
  EXPECT_TRUE(package::AppendEntry(&archive, std::string(779, 'n'), "b"));
  EXPECT_FALSE(package::AppendEntry(&archive, std::string("a\0b", 3), "b"));
  EXPECT_EQ(package::ArchiveName("bin/sub/tool.dll"), "bin\\sub\\tool.dll");
}

}  // namespace
