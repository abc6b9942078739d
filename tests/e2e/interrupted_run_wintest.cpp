// Runs cut short and the runs after them: the starter killed while it
// downloads or while it unpacks, then started again, must still end in a
// correct installation; and a log file that another program holds costs the
// run its records, never the run itself.
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/wide_text.h"
#include "e2e/e2e_fixture_win.h"
#include "package/package_writer.h"

namespace e2e {
namespace {

// Paths present in one tree and not the other, or with other content, for
// a readable failure message instead of a thousand-file dump.
std::string TreeDifference(const Tree& actual, const Tree& expected) {
  std::string report;
  for (const auto& entry : expected) {
    auto found = actual.find(entry.first);
    if (found == actual.end())
      report += "missing " + entry.first + "\n";
    else if (found->second != entry.second)
      report += "differs " + entry.first + "\n";
  }
  for (const auto& entry : actual)
    if (expected.count(entry.first) == 0) report += "extra " + entry.first + "\n";
  return report.size() > 2000 ? report.substr(0, 2000) + "...\n" : report;
}

// A client package made in memory, with the record of its files: the
// installer and Kestrelon\\version.txt come first, then `bulk_files` small
// files (enough of them make unpacking take long enough to be cut short),
// `payload_bytes` of bytes that do not compress (drawn from `seed`: packages
// of one payload size are of one size), and readme.txt last.
class MadePackage {
 public:
  explicit MadePackage(int bulk_files, size_t payload_bytes = 0, unsigned seed = 1) : dir_("kse2emade") {
    files_.push_back({"KSInstaller.exe", kstest::ReadFileOrEmpty(standin_client::StandinPath("KSInstaller.exe"))});
    files_.push_back({"Kestrelon\\version.txt", std::string(kVersion) + "\r\n"});
    for (int i = 0; i < bulk_files; ++i) {
      std::string name = "bulk\\d" + std::to_string(i / kFilesPerFolder) + "\\f" + std::to_string(i) + ".dat";
      files_.push_back({name, "content of " + name + "\r\n"});
    }
    if (payload_bytes > 0) {
      std::string payload(payload_bytes, '\0');
      for (char& c : payload) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
      }
      files_.push_back({"payload.bin", payload});
    }
    files_.push_back({"readme.txt", "made package, last entry\r\n"});
    std::string archive;
    for (const auto& file : files_) EXPECT_TRUE(package::AppendFile(&archive, file.first, file.second));
    EXPECT_TRUE(kstest::WriteFile(Archive(), archive));
    size_ = archive.size();
  }
  std::string Archive() const { return dir_.File("made.pkg"); }
  size_t Size() const { return size_; }
  Tree Files() const { return Tree(files_.begin(), files_.end()); }

 private:
  static const int kFilesPerFolder = 200;
  kstest::TempDir dir_;
  std::vector<std::pair<std::string, std::string>> files_;
  size_t size_ = 0;
};

class InterruptedRun : public StarterEndToEnd {
 protected:
  static void SetUpTestSuite() {
    StarterEndToEnd::SetUpTestSuite();
    small_.reset(new MadePackage(0));
    // Two packages of one size, of other contents: the second is the
    // account server's package changed between two runs.
    resumable_.reset(new MadePackage(0, 1 << 20, 7));
    changed_.reset(new MadePackage(0, 1 << 20, 8));
    // Unpacking these files takes longer than a scanner needs to find the
    // first one, the installer, and hold it.
    scanned_.reset(new MadePackage(300));
    // 4000 files: a second or more of unpacking under Wine, against the
    // 20 ms in which a poll notices that it has begun. (Removing them again
    // takes longer still, so not more than needed.)
    bulk_.reset(new MadePackage(4000));
  }
  static void TearDownTestSuite() {
    small_.reset();
    bulk_.reset();
    resumable_.reset();
    changed_.reset();
    scanned_.reset();
    StarterEndToEnd::TearDownTestSuite();
  }

  // The account server handing out `package`, with `extra` options.
  void ServePackage(const MadePackage& package, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--package", package.Archive(), "--user-input", kUserInput};
    args.insert(args.end(), extra.begin(), extra.end());
    server_.reset(new kstest::ServeProcess(args));
    ASSERT_TRUE(server_->ok());
  }

  // Starts the starter and ends it abruptly once `condition` holds.
  void KillWhen(const std::function<bool()>& condition, const char* what) {
    ASSERT_TRUE(starter_.Start(scene_, ""));
    ASSERT_TRUE(StarterProcess::WaitUntil(condition)) << what << "\nlog:\n" << LogDump();
    ASSERT_TRUE(starter_.Kill());
  }

  // The run after an interrupted one is an ordinary install: the launcher
  // alone is started, from the setup directory, with the installer's
  // parameter file beside it; the package file is gone; and the setup
  // directory holds exactly the package's files, the launcher and that
  // parameter file.
  void ExpectCorrectInstall(const MadePackage& package, const std::string& settings) {
    std::string setup = scene_.SetupDirectory();
    EXPECT_EQ(scene_.Records(), std::vector<std::string>{"standin_KSLauncher.txt"});
    EXPECT_EQ(scene_.Recorded("KSLauncher", "CommandLine"), Quote(setup + "\\KSLauncher.exe") + " ");
    EXPECT_EQ(scene_.Recorded("KSLauncher", "WorkingDirectory"), setup);
    EXPECT_FALSE(kstest::FileExists(PackageFile()));

    Tree expected = package.Files();
    expected["KSLauncher.exe"] = expected["KSInstaller.exe"];
    expected["rsp1024hcmd.txt"] = Crlf(SetupLines(setup, scene_.app()) + settings);
    EXPECT_EQ(TreeDifference(TreeOf(setup), expected), "");
  }

  std::string PackageFile() const { return scene_.tmp() + "\\PCClient.zip"; }
  std::string KeptFile() const { return scene_.tmp() + "\\KSDownload.part"; }

  // The body bytes a server that logged to `sent_log` sent for the package.
  static long long PackageBytesSent(const std::string& sent_log) {
    std::istringstream lines(kstest::ReadFileOrEmpty(sent_log));
    long long total = 0;
    long long bytes = 0;
    std::string path;
    int status = 0;
    while (lines >> bytes >> path >> status)
      if (path == "/as/wapi/get_client") total += bytes;
    return total;
  }

  // A first run whose download is cut at 90 % on its first road while its
  // socket fetch is refused: it ends incomplete with the part kept. Returns
  // where the cut was; the server's port stays Port().
  long long RunCutAtNinetyPercent(const MadePackage& package, const std::string& settings) {
    long long cut = static_cast<long long>(package.Size()) * 9 / 10;
    std::string sent = scene_.root() + "\\sent-first.log";
    ServePackage(package, {"--etag", "first", "--cut-at", std::to_string(cut), "--refuse-agent", kSocketAgent,
                           "--sent-log", sent});
    StampStarter(settings.empty() ? StampedSettings(Port()) : settings);
    EXPECT_EQ(RunUntilLogged("", "Filed to complete download: ", kIncomplete), kIncomplete);
    EXPECT_TRUE(kstest::FileExists(KeptFile())) << LogDump();
    EXPECT_EQ(PackageBytesSent(sent), cut);
    EXPECT_TRUE(scene_.Records().empty());
    return cut;
  }

  // Only the socket fetch names this in its User-Agent.
  static constexpr const char* kSocketAgent = "MSIE 6.0";

  static std::unique_ptr<MadePackage> small_;
  static std::unique_ptr<MadePackage> bulk_;
  static std::unique_ptr<MadePackage> resumable_;
  static std::unique_ptr<MadePackage> changed_;
  static std::unique_ptr<MadePackage> scanned_;
};

std::unique_ptr<MadePackage> InterruptedRun::small_;
std::unique_ptr<MadePackage> InterruptedRun::bulk_;
std::unique_ptr<MadePackage> InterruptedRun::resumable_;
std::unique_ptr<MadePackage> InterruptedRun::changed_;
std::unique_ptr<MadePackage> InterruptedRun::scanned_;

TEST_F(InterruptedRun, KilledWhileDownloadingTheNextRunInstallsCorrectly) {
  // 4 KiB pieces 20 ms apart: the download takes over a second.
  ServePackage(*small_, {"--piece-bytes", "4096", "--piece-delay-ms", "20"});
  StampStarter(StampedSettings(Port()));
  KillWhen(
      [&] {
        int percent = atoi(starter_.ControlText(IDC_PERCENT).c_str());
        return percent > 0 && percent < 100;
      },
      "the window never showed the download part-way");
  server_.reset();

  // The package was still on its way: nothing of it reached the disk.
  std::string size = std::to_string(small_->Size());
  EXPECT_TRUE(scene_.Logged("iDownloadSize = " + size));
  EXPECT_FALSE(scene_.LoggedPrefix("Download is completed"));
  EXPECT_FALSE(kstest::FileExists(PackageFile()));
  EXPECT_FALSE(kstest::FileExists(scene_.SetupDirectory()));
  EXPECT_TRUE(scene_.Records().empty());

  // What a run killed while saving the package would also have left: a cut
  // package file and a setup directory with a piece of the installer.
  std::string archive = kstest::ReadFileOrEmpty(small_->Archive());
  ASSERT_TRUE(kstest::WriteFile(PackageFile(), archive.substr(0, archive.size() / 2)));
  MakeDirectory(scene_.SetupDirectory());
  ASSERT_TRUE(kstest::WriteFile(scene_.SetupDirectory() + "\\KSInstaller.exe", "MZ cut short"));

  // Again, against a server that behaves.
  ServePackage(*small_);
  std::string settings = StampedSettings(Port());
  StampStarter(settings);
  RunUntilStarted("", "KSLauncher", kSummaryStart);

  EXPECT_TRUE(scene_.Logged("Download is completed: iExpectedDownloadSize = " + size + ", actual received = " + size));
  EXPECT_EQ(Requests(), (std::vector<std::string>{kSizeRequest, kPackageRequest, ReportRequest()}));
  ExpectCorrectInstall(*small_, settings);
  // The killed run's log is kept as the first backup.
  std::string killed_log = kstest::ReadFileOrEmpty(scene_.tmp() + "\\KSSetup.txt.bak");
  EXPECT_NE(killed_log.find("Message: iDownloadSize = " + size + "\r\n"), std::string::npos) << killed_log;
}

TEST_F(InterruptedRun, KilledWhileUnpackingTheNextRunEmptiesAndRebuildsTheSetupDirectory) {
  ServePackage(*bulk_);
  std::string settings = StampedSettings(Port());
  StampStarter(settings);
  std::string setup = scene_.SetupDirectory();
  KillWhen([&] { return kstest::FileExists(setup + "\\bulk"); }, "the unpacking never began");

  // Cut short part-way: the package file is still there (it goes only after
  // a complete pass), the last entry is not, and nothing was started.
  ASSERT_TRUE(kstest::FileExists(PackageFile()))
      << "the unpacking ended before it could be interrupted: the package needs more files";
  EXPECT_FALSE(kstest::FileExists(setup + "\\readme.txt"));
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\KSInstaller.exe"), bulk_->Files()["KSInstaller.exe"]);
  EXPECT_TRUE(scene_.Records().empty());

  // Files that do not belong to the package, some of them read-only, hidden
  // or in folders of their own.
  ASSERT_TRUE(kstest::WriteFile(setup + "\\stale.txt", "stale"));
  ASSERT_TRUE(kstest::WriteFile(setup + "\\bulk\\readonly.dat", "read-only"));
  MakeDirectory(setup + "\\Kestrelon\\old");
  ASSERT_TRUE(kstest::WriteFile(setup + "\\Kestrelon\\old\\hidden.dat", "hidden"));
  SetFileAttributesW(Widen((setup + "\\bulk\\readonly.dat").c_str()).c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW(Widen((setup + "\\Kestrelon\\old\\hidden.dat").c_str()).c_str(),
                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

  RunUntilStarted("", "KSLauncher", kSummaryStart);

  // Both runs asked for the package; only the second reached the report.
  EXPECT_EQ(Requests(), (std::vector<std::string>{kSizeRequest, kPackageRequest, kSizeRequest, kPackageRequest,
                                                  ReportRequest()}));
  ExpectCorrectInstall(*bulk_, settings);
}

// Another program (a log viewer, say) holds the starter's log file open and
// shares it with nobody, from before the start to after the end.
TEST_F(InterruptedRun, HeldLogFileCostsTheRecordsNotTheRun) {
  ServePackage(*small_);
  std::string settings = StampedSettings(Port());
  StampStarter(settings);
  std::string log = scene_.tmp() + "\\KSSetup.txt";
  const std::string earlier = "records of an earlier run\r\n";
  ASSERT_TRUE(kstest::WriteFile(log, earlier));
  ks::UniqueHandle holder(CreateFileW(Widen(log.c_str()).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder);

  // No log to watch: the launcher's start record and the window tell the
  // outcome. A starter that gave up for want of its log ends at once.
  ASSERT_TRUE(starter_.Start(scene_, ""));
  StarterProcess::WaitUntil([&] { return scene_.Started("KSLauncher") || !starter_.Running(); });
  ASSERT_TRUE(scene_.Started("KSLauncher")) << "the starter ended with exit code " << starter_.ExitCode();
  CloseAfterOutcome(kSummaryStart);
  holder.reset();

  EXPECT_EQ(kstest::ReadFileOrEmpty(log), earlier);
  EXPECT_FALSE(kstest::FileExists(log + ".bak"));
  EXPECT_EQ(Requests(), (std::vector<std::string>{kSizeRequest, kPackageRequest, ReportRequest()}));
  ExpectCorrectInstall(*small_, settings);
}

// Cut at 90 %, then tried again: the second run asks for the rest alone
// (Range with If-Range) and installs, and the kept part goes.
TEST_F(InterruptedRun, CutDownloadIsResumedByTheNextRun) {
  const MadePackage& package = *resumable_;
  long long cut = RunCutAtNinetyPercent(package, "");
  int port = Port();
  std::string settings = StampedSettings(port);

  std::string sent = scene_.root() + "\\sent-second.log";
  server_.reset();  // its port goes to the next
  ServePackage(package, {"--etag", "first", "--port", std::to_string(port), "--sent-log", sent});
  ASSERT_EQ(Port(), port);
  RunUntilStarted("", "KSLauncher", kSummaryStart);

  EXPECT_EQ(PackageBytesSent(sent), static_cast<long long>(package.Size()) - cut);
  std::string requests = server_->Requests();
  EXPECT_NE(requests.find("Range: bytes=" + std::to_string(cut) + "-\r\n"), std::string::npos) << requests;
  EXPECT_NE(requests.find("If-Range: \"first\"\r\n"), std::string::npos) << requests;
  EXPECT_FALSE(kstest::FileExists(KeptFile()));
  ExpectCorrectInstall(package, settings);
}

// The package changed between the runs (same size, new validator): the
// server answers the resumed request whole, and the new package installs,
// nothing of the old one spliced in.
TEST_F(InterruptedRun, PackageChangedSinceTheCutIsTakenWhole) {
  ASSERT_EQ(resumable_->Size(), changed_->Size());
  RunCutAtNinetyPercent(*resumable_, "");
  int port = Port();
  std::string settings = StampedSettings(port);

  std::string sent = scene_.root() + "\\sent-second.log";
  server_.reset();  // its port goes to the next
  ServePackage(*changed_, {"--etag", "second", "--port", std::to_string(port), "--sent-log", sent});
  ASSERT_EQ(Port(), port);
  RunUntilStarted("", "KSLauncher", kSummaryStart);

  EXPECT_EQ(PackageBytesSent(sent), static_cast<long long>(changed_->Size()));
  EXPECT_NE(server_->Requests().find("If-Range: \"first\"\r\n"), std::string::npos);
  EXPECT_FALSE(kstest::FileExists(KeptFile()));
  ExpectCorrectInstall(*changed_, settings);
}

// One cut on the first road within a run: with a validator the socket fetch
// asks for the rest, and the install costs the package once; without one it
// takes the package whole again, and nothing is kept.
TEST_F(InterruptedRun, CutOnTheFirstRoadIsResumedByTheNextRoad) {
  struct Case {
    const char* name;
    bool validator;
  };
  for (const Case& c : {Case{"ETag", true}, Case{"no validator", false}}) {
    SCOPED_TRACE(c.name);
    const MadePackage& package = *resumable_;
    long long size = static_cast<long long>(package.Size());
    long long cut = size * 9 / 10;
    std::string sent = scene_.root() + "\\sent-" + std::to_string(c.validator) + ".log";
    std::vector<std::string> options = {"--cut-at", std::to_string(cut), "--cut-replies", "1", "--sent-log", sent};
    if (c.validator) options.insert(options.end(), {"--etag", "once"});
    ServePackage(package, options);
    std::string settings = StampedSettings(Port());
    StampStarter(settings);
    RunUntilStarted("", "KSLauncher", kSummaryStart);

    EXPECT_EQ(PackageBytesSent(sent), c.validator ? size : cut + size);
    EXPECT_EQ(server_->Requests().find("Range: ") != std::string::npos, c.validator);
    EXPECT_FALSE(kstest::FileExists(KeptFile()));
    ExpectCorrectInstall(package, settings);
    // The next case starts afresh.
    for (const std::string& name : scene_.Records()) EndRecordedProgram(scene_.records() + "\\" + name);
    server_.reset();
    kstest::RemoveTree(scene_.tmp());
    kstest::RemoveTree(scene_.records());
    MakeDirectory(scene_.tmp());
    MakeDirectory(scene_.records());
  }
}

// An on-access scanner holds each new file of the setup folder alone for
// 1.5 s as soon as it is written: the installer copy and the launcher's
// start wait for it, and the install completes with every file whole.
TEST_F(InterruptedRun, ScannerHoldingEachNewFileDoesNotStopTheInstall) {
  ServePackage(*scanned_);
  std::string settings = StampedSettings(Port());
  StampStarter(settings);
  std::string held = scene_.root() + "\\scanner.txt";
  ks::UniqueHandle scanner = kstest::StartProcess(
      Quote(standin_client::StandinPath("KSScanner.exe")) + " " + Quote("--watch=" + scene_.SetupDirectory()) + " " +
      Quote("--record=" + held) + " --hold=1500");
  ASSERT_TRUE(scanner);
  RunUntilStarted("", "KSLauncher", kSummaryStart);
  standin_client::EnsureEnded(scanner.get());  // lets go of what it holds

  std::string record = kstest::ReadFileOrEmpty(held);
  std::string installer = scene_.SetupDirectory() + "\\KSInstaller.exe";
  EXPECT_NE(record.find("held " + installer), std::string::npos) << record;
  EXPECT_TRUE(scene_.LoggedPrefix("copy " + installer + ": held by another program (error code: 32, ")) << LogDump();
  ExpectCorrectInstall(*scanned_, settings);
}

// The temporary folder on a disk that takes the package file but not what
// it unpacks to: the participant is told the download could not be saved,
// nothing is started or reported, and no half setup folder stays behind.
TEST_F(InterruptedRun, FullDiskLeavesNothingHalfDone) {
  std::string state = kstest::ReadFileOrEmpty(kstest::BuildDir() + "\\tests\\full_disk.state");
  if (state.compare(0, 7, "mounted") != 0)
    GTEST_SKIP() << "no small file system for the full disk (tests/e2e/full_disk.sh, run by CTest before this "
                    "program): " << state;
  std::string disk = kstest::BuildDir() + "\\tests\\full_disk";
  struct Emptied {
    std::string folder;
    ~Emptied() {
      for (const std::string& name : FilesIn(folder)) DeleteFileW(Widen((folder + "\\" + name).c_str()).c_str());
      kstest::RemoveTree(folder + "\\ks_starter_dir");
    }
  } emptied{disk};
  scene_.UseTemp(disk);

  // Room for the package file, the log and a little more: the installer
  // alone unpacks to more than that.
  const MadePackage& package = *resumable_;
  ULARGE_INTEGER free_bytes;
  ASSERT_TRUE(GetDiskFreeSpaceExW(Widen(disk.c_str()).c_str(), &free_bytes, nullptr, nullptr));
  long long room = static_cast<long long>(package.Size()) + (256 << 10);
  long long filler = static_cast<long long>(free_bytes.QuadPart) - room;
  ASSERT_GT(filler, 0) << "the file system is too small for the package";
  ASSERT_TRUE(kstest::WriteFile(disk + "\\filler.bin", std::string(static_cast<size_t>(filler), 'f')));

  ServePackage(package);
  StampStarter(StampedSettings(Port()));
  EXPECT_EQ(RunUntilMessageBox(""), "Unable to save the download file");

  EXPECT_TRUE(scene_.Records().empty());
  EXPECT_FALSE(kstest::FileExists(scene_.SetupDirectory())) << "a half setup folder";
  EXPECT_EQ(kstest::ReadFileOrEmpty(PackageFile()), kstest::ReadFileOrEmpty(package.Archive())) << "saved whole";
  std::vector<std::string> log = scene_.Log();
  int stopped = apptest::FindMessage(log, "unpacking " + PackageFile() + " stopped (" + scene_.SetupDirectory(), true);
  ASSERT_GE(stopped, 0) << LogDump();
  EXPECT_NE(log[stopped].find(", error code: 112, error: "), std::string::npos) << log[stopped];  // the disk is full
  EXPECT_FALSE(scene_.LoggedPrefix("StartProcess("));
  EXPECT_EQ(Requests(), (std::vector<std::string>{kSizeRequest, kPackageRequest}));
}

}  // namespace
}  // namespace e2e
