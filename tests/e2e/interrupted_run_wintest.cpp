// Runs cut short and the runs after them: the starter killed while it
// downloads or while it unpacks, then started again, must still end in a
// correct installation; and a log file that another program holds costs the
// run its records, never the run itself.
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
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
// and readme.txt last.
class MadePackage {
 public:
  explicit MadePackage(int bulk_files) : dir_("kse2emade") {
    files_.push_back({"KSInstaller.exe", kstest::ReadFileOrEmpty(standin_client::StandinPath("KSInstaller.exe"))});
    files_.push_back({"Kestrelon\\version.txt", std::string(kVersion) + "\r\n"});
    for (int i = 0; i < bulk_files; ++i) {
      std::string name = "bulk\\d" + std::to_string(i / kFilesPerFolder) + "\\f" + std::to_string(i) + ".dat";
      files_.push_back({name, "content of " + name + "\r\n"});
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
    // 4000 files: a second or more of unpacking under Wine, against the
    // 20 ms in which a poll notices that it has begun. (Removing them again
    // takes longer still, so not more than needed.)
    bulk_.reset(new MadePackage(4000));
  }
  static void TearDownTestSuite() {
    small_.reset();
    bulk_.reset();
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

  static std::unique_ptr<MadePackage> small_;
  static std::unique_ptr<MadePackage> bulk_;
};

std::unique_ptr<MadePackage> InterruptedRun::small_;
std::unique_ptr<MadePackage> InterruptedRun::bulk_;

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

}  // namespace
}  // namespace e2e
