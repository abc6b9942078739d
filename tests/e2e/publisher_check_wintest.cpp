// A signed starter takes a package only when the whole package carries its
// own publisher's signature and describes itself as what the run asks for,
// and starts a program from it only when that program carries the signature
// too; an unsigned starter (a development copy) takes both as they are. The
// packages and their verdicts are one table, package_verdicts.txt, which
// signed_files.sh (run by CTest before this program) also runs through the
// native kstool verify; it makes the signed starters, programs and packages
// with throw-away certificates.
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/e2e_fixture_win.h"

namespace e2e {
namespace {

const char kPublisher[] = "CN=Kestrelon Throwaway Publisher, O=Kestrelon Test";

enum class Outcome {
  kInstalled,       // unpacked without its signature, reported, the launcher (or installer) started
  kPackageRefused,  // nothing stopped, saved, unpacked, reported or started
  kProgramRefused,  // unpacked, but nothing reported or started
};

enum class Copy {
  kStamped,                // kstool stamp's default (a signed starter: in an added certificate)
  kStampedAfterSignature,  // kstool stamp --after-signature
  kLink,                   // unstamped, started with a meeting link
  kLocalArchives,          // unstamped, with "starter.cfg" and the two local archives beside it
};

struct Case {
  std::string name;
  std::string starter;  // from signed_files.sh; empty: the built, unsigned starter
  Copy copy = Copy::kStamped;
  std::string package;  // from signed_files.sh: served, or the local archive "PCClient"
  std::string client = "Kestrelon";  // what the run asks for
  std::string version = kVersion;
  std::string installed;  // the installed client's version; empty: none
  Outcome outcome = Outcome::kInstalled;
  // The log line's start after "Refused package <package> (" or, for a
  // refused program, after "Refused <program> " up to the starter's signer.
  std::string line;
};

std::string Trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r");
  size_t end = text.find_last_not_of(" \t\r");
  return begin == std::string::npos ? std::string() : text.substr(begin, end + 1 - begin);
}

Case Row(const char* name, const char* starter, Copy copy, const char* package, Outcome outcome, const char* line) {
  Case c;
  c.name = name;
  c.starter = starter;
  c.copy = copy;
  c.package = package;
  c.outcome = outcome;
  c.line = line;
  return c;
}

// The rows of package_verdicts.txt, read when the tests are listed; a table
// that cannot be read is one failing row.
std::vector<Case> TableRows() {
  std::ifstream table(kstest::SourceDir() + "\\tests\\e2e\\package_verdicts.txt");
  std::vector<Case> rows;
  std::string line;
  while (std::getline(table, line)) {
    std::vector<std::string> cells;
    std::stringstream columns(line);
    for (std::string cell; std::getline(columns, cell, '|');) cells.push_back(Trim(cell));
    if (cells.empty() || cells[0].empty() || cells[0][0] == '#') continue;
    Case c;
    if (cells.size() < 8) {
      c.name = "MalformedRow" + std::to_string(rows.size());
      c.outcome = Outcome::kPackageRefused;
      c.line = line;
      rows.push_back(c);
      continue;
    }
    c.name = cells[0];
    c.starter = cells[1] == "unsigned" ? "" : cells[1];
    c.copy = cells[2] == "after-signature" ? Copy::kStampedAfterSignature
             : cells[2] == "link"          ? Copy::kLink
             : cells[2] == "local"         ? Copy::kLocalArchives
                                           : Copy::kStamped;
    c.package = cells[3];
    c.client = cells[4].substr(0, cells[4].find(' '));
    c.version = cells[4].substr(cells[4].find(' ') + 1);
    c.installed = cells[5] == "-" ? "" : cells[5];
    c.outcome = cells[7] == "installed" ? Outcome::kInstalled : Outcome::kPackageRefused;
    c.line = cells[7] + ": " + (cells.size() > 8 ? cells[8] : "");
    rows.push_back(c);
  }
  if (rows.empty()) rows.push_back(Row("TableMissing", "", Copy::kStamped, "", Outcome::kInstalled, ""));
  return rows;
}

class PublisherCheck : public StarterEndToEnd, public ::testing::WithParamInterface<Case> {
 protected:
  void TearDown() override {
    standin_client::EnsureEnded(client_.get());
    StarterEndToEnd::TearDown();
  }
  // A participant's client, running while the starter works.
  void StartClient() {
    client_ = kstest::StartProcess(Quote(standin_client::StandinPath("Kestrelon.exe")), scene_.root());
    ASSERT_TRUE(client_);
    ASSERT_TRUE(StarterProcess::WaitUntil([] { return standin_client::ClientWindow() != nullptr; }));
  }
  bool ClientRunning() const { return WaitForSingleObject(client_.get(), 0) == WAIT_TIMEOUT; }

  ks::UniqueHandle client_;
};

TEST_P(PublisherCheck, TakesOnlyWhatItsPublisherSigned) {
  const Case& c = GetParam();
  ASSERT_NE(c.name.compare(0, 12, "MalformedRow"), 0) << "package_verdicts.txt: " << c.line;
  ASSERT_NE(c.name, "TableMissing") << "tests/e2e/package_verdicts.txt cannot be read";
  const bool signed_starter = !c.starter.empty();
  const bool local = c.copy == Copy::kLocalArchives;
  std::string starter = signed_starter ? SignedFile(c.starter) : kstest::BuildDir() + "\\KestrelonStarter.exe";
  ASSERT_TRUE(kstest::FileExists(starter)) << "signed_files.sh (run by CTest) makes it";
  server_.reset(new kstest::ServeProcess({"--package", SignedFile(c.package), "--user-input", kUserInput}));
  ASSERT_TRUE(server_->ok());
  if (!c.installed.empty()) InstallClient("", c.installed);

  // The settings or link of a run that asks for the row's client and version.
  std::string settings = StampedSettings(Port());
  settings.replace(settings.find(kVersion), strlen(kVersion), c.version);
  settings += "<__ClientName__>" + c.client + "</__ClientName__>\n";
  std::string arguments;
  switch (c.copy) {
    case Copy::kStamped:
      StampStarter(settings, starter);
      break;
    case Copy::kStampedAfterSignature:
      StampStarter(settings, starter, "--after-signature");
      break;
    case Copy::kLink:
      CopyStarter(starter);
      arguments = MakeLink("account_server_ip=127.0.0.1&port=" + std::to_string(Port()) + "&version=" + c.version +
                           "&client_name=" + c.client + "&role=attendee&meeting_id=m-4711&name=Ann%20Example");
      break;
    case Copy::kLocalArchives: {
      CopyStarter(starter);
      std::string settings_file = scene_.root() + "\\cfg_settings.txt";
      ASSERT_TRUE(kstest::WriteFile(settings_file, settings));
      Kstool("cfg " + Quote(settings_file) + " " + Quote(scene_.app() + "\\starter.cfg"));
      ASSERT_TRUE(kstest::CopyFileTo(SignedFile(c.package), scene_.app() + "\\PCClient"));
      ASSERT_TRUE(kstest::CopyFileTo(SignedFile("accessory-signed.pkg"), scene_.app() + "\\PCClientAccessory"));
      break;
    }
  }

  const std::string setup = local ? scene_.app() + "\\ks_starter_dir" : scene_.SetupDirectory();
  const std::string package = local ? "PCClient" : scene_.tmp() + "\\PCClient.zip";
  const std::string program = setup + (local ? "\\KSInstaller.exe" : "\\KSLauncher.exe");
  // A link names no starter identifier: such a run reports nothing anyway.
  const bool reports = c.copy != Copy::kLink;
  std::vector<std::string> fetched;
  if (!local) fetched = {kSizeRequest, kPackageRequest};
  std::vector<std::string> fetched_and_reported = fetched;
  if (reports) fetched_and_reported.push_back(ReportRequest());

  switch (c.outcome) {
    case Outcome::kInstalled: {
      RunUntilStarted(arguments, local ? "KSInstaller" : "KSLauncher", local ? "" : "Setup Kestrelon ...");
      EXPECT_EQ(Requests(), fetched_and_reported);
      if (signed_starter) {
        EXPECT_TRUE(scene_.Logged("Own signature verified, signer = " + std::string(kPublisher))) << LogDump();
        EXPECT_TRUE(scene_.LoggedPrefix("Package verified: " + package + ", ")) << LogDump();
        EXPECT_TRUE(scene_.Logged("Publisher checked: " + program + ", signer = " + kPublisher)) << LogDump();
      } else {
        EXPECT_TRUE(scene_.Logged("Publisher of " + package +
                                  " not checked: the starter is not signed (no certificate table)"))
            << LogDump();
      }
      EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\readme.txt"), kPackageReadme);
      EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\KSInstaller.exe"),
                kstest::ReadFileOrEmpty(SignedFile("KSInstaller-a.exe")));
      EXPECT_FALSE(kstest::FileExists(setup + "\\KSPackage.sig"));
      EXPECT_FALSE(kstest::FileExists(local ? scene_.app() + "\\PCClient" : package));
      break;
    }
    case Outcome::kPackageRefused: {
      StartClient();
      EXPECT_EQ(RunUntilLogged(arguments, "Refused ", kIncomplete), kIncomplete);
      EXPECT_TRUE(scene_.LoggedPrefix("Refused package " + package + " (" + c.line)) << LogDump();
      EXPECT_FALSE(kstest::FileExists(setup));
      EXPECT_FALSE(kstest::FileExists(scene_.tmp() + "\\PCClient.zip"));
      EXPECT_EQ(Requests(), fetched);
      EXPECT_TRUE(ClientRunning());
      EXPECT_FALSE(scene_.LoggedPrefix("Has stopped "));
      EXPECT_TRUE(scene_.Records().empty());
      EXPECT_FALSE(scene_.LoggedPrefix("StartProcess("));
      if (!c.installed.empty()) {
        EXPECT_EQ(kstest::ReadFileOrEmpty(ClientFolder() + "\\version.txt"), c.installed + " (installed)\r\n");
      }
      if (c.name == "PackageWithoutSignature") KeepLogFor("failed-package-refused");
      break;
    }
    case Outcome::kProgramRefused: {
      EXPECT_EQ(RunUntilLogged(arguments, "Refused ", kIncomplete), kIncomplete);
      EXPECT_TRUE(scene_.Logged("Refused " + program + " " + c.line + ", starter's signer = " + kPublisher))
          << LogDump();
      EXPECT_EQ(Requests(), fetched);
      EXPECT_TRUE(scene_.Records().empty());
      EXPECT_FALSE(scene_.LoggedPrefix("StartProcess("));
      // The unpacked files stay for the participant or support to look at.
      EXPECT_TRUE(kstest::FileExists(program));
      EXPECT_TRUE(kstest::FileExists(setup + "\\KSInstaller.exe"));
      break;
    }
  }
}

const char kStarter[] = "KestrelonStarter.exe";

// Rows of a starter whose own signature fails, and of signed packages whose
// installer the publisher check refuses: kstool verify takes these packages.
// Wine does not check that a root is trusted, so another key under the
// right subject verifies there and is told apart by its key alone; and it
// does not check what follows a signature, so a copy stamped after its
// signature verifies as one stamped in an added certificate does.
std::vector<Case> StarterAndProgramRows() {
  return {
      Row("StarterChangedAfterSigning", "KestrelonStarter-changed.exe", Copy::kStampedAfterSignature,
          "package-kstool.pkg", Outcome::kPackageRefused,
          "starter not verified: WinVerifyTrust() = 0x80096010, signer = (none); its settings were stamped after "
          "its signature"),
      Row("StarterWhoseSignatureReadsAsNone", "KestrelonStarter-nosignature.exe", Copy::kLink, "package-kstool.pkg",
          Outcome::kPackageRefused, "starter not verified: WinVerifyTrust() = 0x800B0100"),
      Row("UnsignedInstaller", kStarter, Copy::kStamped, "package-installer-unsigned.pkg", Outcome::kProgramRefused,
          "(signature not verified): WinVerifyTrust() = 0x800B0100, signer = (none)"),
      Row("InstallerSubjectCopiedOntoAnotherKey", kStarter, Copy::kStamped, "package-installer-b.pkg",
          Outcome::kProgramRefused,
          "(another publisher's key): WinVerifyTrust() = 0x00000000, signer = CN=Kestrelon Throwaway Publisher, "
          "O=Kestrelon Test"),
      Row("InstallerChangedAfterSigning", kStarter, Copy::kStamped, "package-installer-changed.pkg",
          Outcome::kProgramRefused, "(signature not verified): WinVerifyTrust() = 0x80096010, signer = (none)"),
  };
}

std::vector<Case> AllRows() {
  std::vector<Case> rows = TableRows();
  std::vector<Case> more = StarterAndProgramRows();
  rows.insert(rows.end(), more.begin(), more.end());
  return rows;
}

INSTANTIATE_TEST_SUITE_P(
    StarterEndToEnd, PublisherCheck, ::testing::ValuesIn(AllRows()),
    [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
}  // namespace e2e
