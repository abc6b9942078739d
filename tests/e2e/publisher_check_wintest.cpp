// A signed starter takes a package only when the whole package carries its
// own publisher's signature, and starts a program from it only when that
// program carries it too; an unsigned starter (a development copy) takes
// both as they are. The signed starters, programs and packages come from
// signed_files.sh, which CTest runs before this program, with throw-away
// certificates.
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
  const char* name;
  const char* starter;  // from signed_files.sh; empty: the built, unsigned starter
  Copy copy;
  const char* package;  // from signed_files.sh: served, or the local archive "PCClient"
  Outcome outcome;
  // The log line's start after "Refused package <package> (" or, for a
  // refused program, after "Refused <program> " up to the starter's signer.
  const char* line;
};

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
  const bool signed_starter = c.starter[0] != '\0';
  const bool local = c.copy == Copy::kLocalArchives;
  std::string starter = signed_starter ? SignedFile(c.starter) : kstest::BuildDir() + "\\KestrelonStarter.exe";
  ASSERT_TRUE(kstest::FileExists(starter)) << "signed_files.sh (run by CTest) makes it";
  server_.reset(new kstest::ServeProcess({"--package", SignedFile(c.package), "--user-input", kUserInput}));
  ASSERT_TRUE(server_->ok());

  std::string arguments;
  switch (c.copy) {
    case Copy::kStamped:
      StampStarter(StampedSettings(Port()), starter);
      break;
    case Copy::kStampedAfterSignature:
      StampStarter(StampedSettings(Port()), starter, "--after-signature");
      break;
    case Copy::kLink:
      CopyStarter(starter);
      arguments = MeetingLink();
      break;
    case Copy::kLocalArchives: {
      CopyStarter(starter);
      std::string settings_file = scene_.root() + "\\cfg_settings.txt";
      ASSERT_TRUE(kstest::WriteFile(settings_file, StampedSettings(Port())));
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
      if (std::string(c.name) == "PackageWithoutSignature") KeepLogFor("failed-package-refused");
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

// Wine does not check that a root is trusted, so another key under the
// right subject verifies there and is told apart by its key alone; and it
// does not check what follows a signature, so a copy stamped after its
// signature verifies as one stamped in an added certificate does.
INSTANTIATE_TEST_SUITE_P(
    StarterEndToEnd, PublisherCheck,
    ::testing::Values(
        Case{"PackageSignedByOpensslCms", kStarter, Copy::kStamped, "package-cms.pkg", Outcome::kInstalled, ""},
        Case{"PackageSignedWithoutAttributes", kStarter, Copy::kStamped, "package-cms-noattr.pkg",
             Outcome::kInstalled, ""},
        Case{"PackageSignedByKstoolStarterStampedAfterSignature", kStarter, Copy::kStampedAfterSignature,
             "package-kstool.pkg", Outcome::kInstalled, ""},
        Case{"UnsignedStarterTakesAnUnsignedPackage", "", Copy::kStamped, "package-unsigned.pkg",
             Outcome::kInstalled, ""},
        Case{"SignedLocalArchives", kStarter, Copy::kLocalArchives, "package-kstool.pkg", Outcome::kInstalled, ""},
        Case{"PackageWithoutSignature", kStarter, Copy::kStamped, "package-unsigned.pkg", Outcome::kPackageRefused,
             "no signature: no KSPackage.sig entry among 3 entries)"},
        Case{"PackageSignedWithAnotherKeyUnderTheSubject", kStarter, Copy::kStamped, "package-other-key.pkg",
             Outcome::kPackageRefused,
             "other signer: CN=Kestrelon Throwaway Publisher, O=Kestrelon Test with another key, "},
        Case{"PackageChangedAfterSigning", kStarter, Copy::kStamped, "package-changed.pkg", Outcome::kPackageRefused,
             "digest mismatch: signed "},
        Case{"PackageChangedAfterSigningWithoutAttributes", kStarter, Copy::kStamped, "package-changed-noattr.pkg",
             Outcome::kPackageRefused, "bad signature: not verified with the starter's signer's key, error "},
        Case{"LibraryAddedBeforeTheSignature", kStarter, Copy::kStamped, "package-added-before.pkg",
             Outcome::kPackageRefused, "digest mismatch: signed "},
        Case{"LibraryAddedAfterTheSignature", kStarter, Copy::kStamped, "package-added-after.pkg",
             Outcome::kPackageRefused, "entries after the signature: "},
        Case{"UnsignedLocalArchive", kStarter, Copy::kLocalArchives, "package-unsigned.pkg", Outcome::kPackageRefused,
             "no signature: "},
        Case{"StarterChangedAfterSigning", "KestrelonStarter-changed.exe", Copy::kStampedAfterSignature,
             "package-kstool.pkg", Outcome::kPackageRefused,
             "starter not verified: WinVerifyTrust() = 0x80096010, signer = (none); its settings were stamped after "
             "its signature"},
        Case{"StarterWhoseSignatureReadsAsNone", "KestrelonStarter-nosignature.exe", Copy::kLink,
             "package-kstool.pkg", Outcome::kPackageRefused, "starter not verified: WinVerifyTrust() = 0x800B0100"},
        Case{"UnsignedInstaller", kStarter, Copy::kStamped, "package-installer-unsigned.pkg",
             Outcome::kProgramRefused, "(signature not verified): WinVerifyTrust() = 0x800B0100, signer = (none)"},
        Case{"InstallerSubjectCopiedOntoAnotherKey", kStarter, Copy::kStamped, "package-installer-b.pkg",
             Outcome::kProgramRefused,
             "(another publisher's key): WinVerifyTrust() = 0x00000000, signer = CN=Kestrelon Throwaway "
             "Publisher, O=Kestrelon Test"},
        Case{"InstallerChangedAfterSigning", kStarter, Copy::kStamped, "package-installer-changed.pkg",
             Outcome::kProgramRefused, "(signature not verified): WinVerifyTrust() = 0x80096010, signer = (none)"}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
