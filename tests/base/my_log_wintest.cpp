#include "base/my_log_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/win_test_util_win.h"

namespace {

// Points the user's temporary folder (where the log lives) at a scratch folder
// for the lifetime of the object.
class TempFolderLog {
 public:
  TempFolderLog() : dir_("kslog"), tmp_(L"TMP", dir_.path()) {}
  std::string LogFile() const { return dir_.File("KSSetup.txt"); }
  std::string Backup1() const { return dir_.File("KSSetup.txt.bak"); }
  std::string Backup2() const { return dir_.File("KSSetup.txt.bak.bak"); }

 private:
  kstest::TempDir dir_;
  kstest::ScopedEnvironment tmp_;
};

std::unique_ptr<MyLog> OpenLog() {
  std::unique_ptr<MyLog> log(new MyLog("KSSetup"));
  log->SetFileName("KSSetup.txt");
  EXPECT_TRUE(log->GetWorkingDirectory());
  return log;
}

// Header length as the log counts it (line feeds as one byte).
size_t HeaderLength(const std::string& operation, int line) {
  return 19 + strlen("\nFunction: ") + operation.size() + strlen("\nLine: ") + std::to_string(line).size() +
         strlen("\nMessage: ");
}

TEST(MyLog, FirstRunCreatesAnEmptyLogWithoutBackups) {
  TempFolderLog folder;
  auto log = OpenLog();
  EXPECT_TRUE(kstest::FileExists(folder.LogFile()));
  EXPECT_EQ(kstest::ReadFileOrEmpty(folder.LogFile()), "");
  EXPECT_FALSE(kstest::FileExists(folder.Backup1()));
  EXPECT_FALSE(kstest::FileExists(folder.Backup2()));
  EXPECT_STREQ(MyLog::GetCurrentLogPath(), folder.LogFile().c_str());
}

TEST(MyLog, StartTurnsOverThePreviousRunsFiles) {
  TempFolderLog folder;
  kstest::WriteFile(folder.LogFile(), "previous run");
  kstest::WriteFile(folder.Backup1(), "run before");
  auto log = OpenLog();
  EXPECT_EQ(kstest::ReadFileOrEmpty(folder.LogFile()), "");
  EXPECT_EQ(kstest::ReadFileOrEmpty(folder.Backup1()), "previous run");
  EXPECT_EQ(kstest::ReadFileOrEmpty(folder.Backup2()), "run before");
}

TEST(MyLog, RecordHasFourLinesAndAnEmptyLineWithCrLfOnDisk) {
  TempFolderLog folder;
  auto log = OpenLog();
  log->Write("SetupHandler::Download", 0, "SetupHandler", 77, "iDownloadSize = %d", 5);
  log->Write("Op", 0, "Op", 1, "two\nlines");
  std::string content = kstest::ReadFileOrEmpty(folder.LogFile());
  std::regex record(
      "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\r\nFunction: SetupHandler::Download\r\nLine: 77\r\n"
      "Message: iDownloadSize = 5\r\n\r\n"
      "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\r\nFunction: Op\r\nLine: 1\r\nMessage: two\r\nlines\r\n\r\n");
  EXPECT_TRUE(std::regex_match(content, record)) << content;
}

TEST(MyLog, TurnsOverOnlyWhenTheHeaderPassesTheLimit) {
  for (int extra : {0, 1}) {
    TempFolderLog folder;
    auto log = OpenLog();
    size_t filler = MyLog::kSizeLimit - HeaderLength("Op", 5) + extra;
    kstest::WriteFile(folder.LogFile(), std::string(filler, 'f'));
    log->Write("Op", 0, "Op", 5, "next");
    std::string content = kstest::ReadFileOrEmpty(folder.LogFile());
    if (extra == 0) {
      EXPECT_FALSE(kstest::FileExists(folder.Backup1()));
      EXPECT_EQ(content.substr(0, filler), std::string(filler, 'f'));
      EXPECT_GT(content.size(), filler);
    } else {
      EXPECT_EQ(kstest::ReadFileOrEmpty(folder.Backup1()).size(), filler);
      EXPECT_NE(content.find("Message: next"), std::string::npos);
      EXPECT_EQ(content.find('f'), std::string::npos);
    }
  }
}

TEST(MyLog, OverlongMessageIsWrittenWholeAndTheNextRecordTurnsOver) {
  TempFolderLog folder;
  auto log = OpenLog();
  std::string huge(MyLog::kSizeLimit + 5000, 'm');
  log->Write("Op", 0, "Op", 1, "%s", huge.c_str());
  EXPECT_NE(kstest::ReadFileOrEmpty(folder.LogFile()).find(huge), std::string::npos);
  log->Write("Op", 0, "Op", 2, "after");
  EXPECT_NE(kstest::ReadFileOrEmpty(folder.Backup1()).find(huge), std::string::npos);
  std::string content = kstest::ReadFileOrEmpty(folder.LogFile());
  EXPECT_LT(content.size(), 200u);
  EXPECT_NE(content.find("Message: after"), std::string::npos);
}

TEST(MyLog, ConcurrentWritersNeverInterleaveRecords) {
  TempFolderLog folder;
  auto log = OpenLog();
  const int kThreads = 6;
  const int kRecords = 150;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&log, t] {
      std::string padding(200 + t * 37, static_cast<char>('a' + t));
      for (int i = 0; i < kRecords; ++i) log->Write("Writer::Run", 0, "Writer", t, "T%d-%d-%s", t, i, padding.c_str());
    });
  }
  for (auto& w : writers) w.join();
  std::string content = kstest::ReadFileOrEmpty(folder.LogFile());
  std::regex record(
      "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\r\nFunction: Writer::Run\r\nLine: (\\d)\r\nMessage: T(\\d)-\\d+-"
      "([a-z]+)\r\n\r\n");
  int count = 0;
  size_t consumed = 0;
  for (std::sregex_iterator it(content.begin(), content.end(), record), end; it != end; ++it) {
    const std::smatch& m = *it;
    EXPECT_EQ(static_cast<size_t>(m.position(0)), consumed) << "garbage between records";
    consumed = static_cast<size_t>(m.position(0) + m.length(0));
    int t = std::stoi(m[2]);
    EXPECT_EQ(std::stoi(m[1]), t);
    EXPECT_EQ(m[3].str(), std::string(200 + t * 37, static_cast<char>('a' + t)));
    ++count;
  }
  EXPECT_EQ(consumed, content.size());
  EXPECT_EQ(count, kThreads * kRecords);
}

TEST(MyLog, RecordWithoutALogFileIsDroppedWithStatus3) {
  MyLog log("KSSetup");
  log.SetFileName("KSSetup.txt");  // no GetWorkingDirectory: no file yet
  log.Write("Op", 0, "Op", 1, "lost");
  EXPECT_EQ(MyLog::GetLogStatus(), 3);
  EXPECT_STREQ(MyLog::GetLogStatusText(), "failed to create log file KSSetup.txt in MyLog::GetWorkingDirectory()");
}

TEST(MyLog, SingleInstanceAndStatusThatOnlyRises) {
  TempFolderLog folder;
  ASSERT_TRUE(MyLog::Initialize("KSSetup"));
  MyLog* log = MyLog::GetInstance();
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(MyLog::GetLogStatus(), 0);
  log->SetFileName("KSSetup.txt");
  ASSERT_TRUE(log->GetWorkingDirectory());

  log->Write("Op", 0, "Op", 1, "zero");
  EXPECT_EQ(MyLog::GetLogStatus(), 0);
  log->Write("Op", 2, "Op", 1, "two");
  EXPECT_EQ(MyLog::GetLogStatus(), 2);
  log->Write("Op", 1, "Op", 1, "one after two");
  EXPECT_EQ(MyLog::GetLogStatus(), 2);
  log->Write("Op", 7, "Op", 1, "unknown level");
  EXPECT_EQ(MyLog::GetLogStatus(), 2);
  log->Write("Op", 3, "Op", 1, "three");
  EXPECT_EQ(MyLog::GetLogStatus(), 3);

  EXPECT_FALSE(MyLog::Initialize("KSSetup"));
  EXPECT_STREQ(MyLog::GetLogStatusText(), "More than log instance, reported from MyLog::Initialize()");
  EXPECT_EQ(MyLog::GetInstance(), log);
  log->Write("Op", 0, "Op", 1, "still working");
  std::string content = kstest::ReadFileOrEmpty(folder.LogFile());
  for (const char* message : {"zero", "two", "one after two", "unknown level", "three", "still working"})
    EXPECT_NE(content.find(std::string("Message: ") + message + "\r\n"), std::string::npos) << message;
}

// The log file opened by another program (a viewer, an editor, a second
// starter writing its record) with the given access and sharing.
class HeldByOtherProgram {
 public:
  HeldByOtherProgram(const std::string& path, DWORD access, DWORD share)
      : file_(CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  bool ok() const { return static_cast<bool>(file_); }
  void Release() { file_.reset(); }

 private:
  ks::UniqueHandle file_;
};

const DWORD kShareNothing = 0;
const DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

std::string Record(const std::string& message) { return "Message: " + message + "\r\n\r\n"; }

TEST(MyLogHeld, HeldWithoutSharingAtStartLosesRecordsButNotTheRun) {
  TempFolderLog folder;
  kstest::WriteFile(folder.LogFile(), "other program's text");
  kstest::WriteFile(folder.Backup1(), "run before");
  HeldByOtherProgram holder(folder.LogFile(), GENERIC_READ | GENERIC_WRITE, kShareNothing);
  ASSERT_TRUE(holder.ok());

  MyLog log("KSSetup");
  log.SetFileName("KSSetup.txt");
  EXPECT_TRUE(log.GetWorkingDirectory());
  EXPECT_EQ(MyLog::GetLogStatus(), 3);
  EXPECT_EQ(std::string(MyLog::GetLogStatusText()),
            "failed to create log file " + folder.LogFile() + " in MyLog::GetWorkingDirectory(), 32");
  log.Write("Op", 0, "Op", 1, "lost");
  EXPECT_EQ(std::string(MyLog::GetLogStatusText()),
            "failed to create log file " + folder.LogFile() + " in MyLog::GetWorkingDirectory()");

  // Once the other program lets go, records are written again; nothing of
  // what was there is lost, and the backups were not turned over for a log
  // that could not be saved.
  holder.Release();
  log.Write("Op", 0, "Op", 2, "after");
  std::string content = kstest::ReadFileOrEmpty(folder.LogFile());
  EXPECT_EQ(content.compare(0, 20, "other program's text"), 0) << content;
  EXPECT_EQ(content.find("lost"), std::string::npos);
  EXPECT_TRUE(kstest::EndsWith(content, Record("after"))) << content;
  EXPECT_EQ(kstest::ReadFileOrEmpty(folder.Backup1()), "run before");
  EXPECT_FALSE(kstest::FileExists(folder.Backup2()));
}

TEST(MyLogHeld, LogThatCannotBeSavedAtStartIsContinuedNotEmptied) {
  TempFolderLog folder;
  kstest::WriteFile(folder.LogFile(), "previous run");
  // A writer that shares: appending works, copying (which shares reading
  // only) does not.
  HeldByOtherProgram writer(folder.LogFile(), GENERIC_WRITE, kShareReadWrite);
  ASSERT_TRUE(writer.ok());
  MyLog log("KSSetup");
  log.SetFileName("KSSetup.txt");
  EXPECT_TRUE(log.GetWorkingDirectory());
  log.Write("Op", 0, "Op", 1, "this run");
  writer.Release();
  std::string content = kstest::ReadFileOrEmpty(folder.LogFile());
  EXPECT_EQ(content.compare(0, 12, "previous run"), 0) << content;
  EXPECT_TRUE(kstest::EndsWith(content, Record("this run"))) << content;
  EXPECT_FALSE(kstest::FileExists(folder.Backup1()));
}

TEST(MyLogHeld, LogWhoseFolderIsMissingEndsTheStart) {
  kstest::TempDir dir("kslog");
  std::string missing = dir.File("missing");
  kstest::ScopedEnvironment tmp(L"TMP", missing);
  MyLog log("KSSetup");
  log.SetFileName("KSSetup.txt");
  EXPECT_FALSE(log.GetWorkingDirectory());
  EXPECT_EQ(std::string(MyLog::GetLogStatusText()),
            "failed to create log file " + missing + "\\KSSetup.txt in MyLog::GetWorkingDirectory(), 3");
}

// A full log that another program holds at the moment of turning over: the
// record is written or dropped, never a crash or a loop, and the full log is
// never emptied without its backup. Once free, the next record turns over.
TEST(MyLogHeld, TurnOverOfAHeldLogKeepsItsRecords) {
  struct Case {
    DWORD access;
    DWORD share;
    bool record_written;
  };
  for (const Case& c : {Case{GENERIC_READ | GENERIC_WRITE, kShareNothing, false},
                        Case{GENERIC_WRITE, kShareReadWrite, true}}) {
    SCOPED_TRACE(c.share);
    TempFolderLog folder;
    auto log = OpenLog();
    kstest::WriteFile(folder.Backup1(), "older");
    std::string full(MyLog::kSizeLimit, 'f');
    kstest::WriteFile(folder.LogFile(), full);
    HeldByOtherProgram holder(folder.LogFile(), c.access, c.share);
    ASSERT_TRUE(holder.ok());

    log->Write("Op", 0, "Op", 1, "while held");
    log->Write("Op", 0, "Op", 2, "still held");
    holder.Release();
    std::string content = kstest::ReadFileOrEmpty(folder.LogFile());
    EXPECT_EQ(content.compare(0, full.size(), full), 0);
    EXPECT_EQ(content.find("while held") != std::string::npos, c.record_written);
    EXPECT_EQ(content.find("still held") != std::string::npos, c.record_written);
    EXPECT_EQ(kstest::ReadFileOrEmpty(folder.Backup1()), "older");
    EXPECT_FALSE(kstest::FileExists(folder.Backup2()));

    log->Write("Op", 0, "Op", 3, "free again");
    EXPECT_EQ(kstest::ReadFileOrEmpty(folder.Backup1()), content);
    EXPECT_EQ(kstest::ReadFileOrEmpty(folder.Backup2()), "older");
    std::string fresh = kstest::ReadFileOrEmpty(folder.LogFile());
    EXPECT_LT(fresh.size(), 200u);
    EXPECT_TRUE(kstest::EndsWith(fresh, Record("free again"))) << fresh;
  }
}

}  // namespace
