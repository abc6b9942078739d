// A signed starter (signed, then stamped by kstool stamp) starts a program
// from the package only when it carries the starter's own publisher's valid
// signature. The signed programs come from signed_files.sh, which CTest runs
// before this program, with throw-away certificates.
#include <string>
#include <vector>

#include "e2e/e2e_fixture_win.h"

namespace e2e {
namespace {

const char kFailureText[] = "Download is incomplete. Please try it again";
const char kPublisher[] = "CN=Kestrelon Throwaway Publisher, O=Kestrelon Test";

std::string Signed(const std::string& name) { return kstest::BuildDir() + "\\tests\\signed\\" + name; }

class SignedStarter : public StarterEndToEnd {
 protected:
  void SetUp() override {
    StarterEndToEnd::SetUp();
    ASSERT_TRUE(kstest::FileExists(Signed("KestrelonStarter.exe"))) << "signed_files.sh (run by CTest) makes it";
  }
  // Serves a package whose installer is `installer` and stamps the signed
  // starter for it.
  void ServePackageWith(const std::string& installer) {
    std::string package = scene_.root() + "\\client.pkg";
    PackClient(scene_.root() + "\\client", installer, package);
    server_.reset(new kstest::ServeProcess({"--package", package, "--user-input", kUserInput}));
    ASSERT_TRUE(server_->ok());
    StampStarter(StampedSettings(Port()), Signed("KestrelonStarter.exe"));
  }
  std::string Launcher() const { return scene_.SetupDirectory() + "\\KSLauncher.exe"; }
};

TEST_F(SignedStarter, PackageOfTheStartersPublisherIsInstalled) {
  ServePackageWith(Signed("KSInstaller-a.exe"));
  RunUntilStarted("", "KSLauncher", "Setup Kestrelon ...");
  // The stamp lies outside the signed bytes: the stamped copy still verifies.
  EXPECT_TRUE(scene_.Logged("Own signature verified, signer = " + std::string(kPublisher))) << LogDump();
  EXPECT_TRUE(scene_.Logged("Publisher checked: " + Launcher() + ", signer = " + kPublisher)) << LogDump();
  EXPECT_EQ(scene_.Records(), std::vector<std::string>{"standin_KSLauncher.txt"});
}

struct Refusal {
  const char* name;
  const char* installer;  // empty: the unsigned stand-in
  const char* reason;     // the log line after "Refused <launcher> "
};

class RefusedPackage : public SignedStarter, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedPackage, StartsNothingAndKeepsTheFiles) {
  const Refusal& refusal = GetParam();
  ServePackageWith(refusal.installer[0] == '\0' ? standin_client::StandinPath("KSInstaller.exe")
                                                : Signed(refusal.installer));
  std::string status = RunUntilLogged("", "Refused ", kFailureText);
  EXPECT_EQ(status, kFailureText);
  EXPECT_TRUE(scene_.Logged("Refused " + Launcher() + " " + refusal.reason + ", starter's signer = " + kPublisher))
      << LogDump();
  EXPECT_TRUE(scene_.Records().empty());
  EXPECT_FALSE(scene_.LoggedPrefix("StartProcess("));
  EXPECT_TRUE(kstest::FileExists(Launcher()));
  EXPECT_TRUE(kstest::FileExists(scene_.SetupDirectory() + "\\KSInstaller.exe"));
  if (std::string(refusal.name) == "Unsigned") KeepLogFor("failed-package-refused");
}

// Wine does not check that a root is trusted, so another key under the
// right subject verifies there and is told apart by its key alone.
INSTANTIATE_TEST_SUITE_P(
    StarterEndToEnd, RefusedPackage,
    ::testing::Values(
        Refusal{"Unsigned", "", "(signature not verified): WinVerifyTrust() = 0x800B0100, signer = (none)"},
        Refusal{"SubjectCopiedOntoAnotherKey", "KSInstaller-b.exe",
                "(another publisher's key): WinVerifyTrust() = 0x00000000, signer = CN=Kestrelon Throwaway "
                "Publisher, O=Kestrelon Test"},
        Refusal{"ChangedAfterSigning", "KSInstaller-changed.exe",
                "(signature not verified): WinVerifyTrust() = 0x80096010, signer = CN=Kestrelon Throwaway "
                "Publisher, O=Kestrelon Test"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
