// Libraries planted beside the starter, as a web page can drop them into a
// Downloads folder, never run: under every name the starter loads (but
// "dbghelp.dll", which it takes from its own folder on purpose) lies a
// library that leaves a marker when loaded and then refuses to load. Wine
// prefers its own copy of a system library, so each run tells it to look
// first where Windows looks: native first, as WINEDLLOVERRIDES="<name>=n,b"
// would, but in the prefix's per-program settings, since a variable set here
// does not reach the load order of the programs started from here.
#include <cstring>
#include <string>
#include <vector>

#include "e2e/e2e_fixture_win.h"

namespace e2e {
namespace {

using kstest::EndsWith;

const char* const kPlantedNames[] = {"jsproxy", "wininet", "bcrypt", "urlmon", "version", "wintrust", "crypt32"};
// Wine's own user32 imports version.dll (Windows' does not), so with that
// name native first any program would load the planted one before its own
// code runs. It stays planted, under Wine's usual order.
const char kWineOwnImport[] = "version";

// Native first for the planted names in runs of `program`, for this object's
// lifetime.
class NativeFirst {
 public:
  explicit NativeFirst(const std::string& program) : key_(L"Software\\Wine\\AppDefaults\\" + Widen(program.c_str())) {
    ks::UniqueKey overrides;
    RegCreateKeyExW(HKEY_CURRENT_USER, (key_ + L"\\DllOverrides").c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                    overrides.put(), nullptr);
    for (const char* name : kPlantedNames)
      if (strcmp(name, kWineOwnImport) != 0)
        RegSetValueExW(overrides.get(), Widen(name).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(L"native,builtin"), sizeof L"native,builtin");
  }
  ~NativeFirst() { RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }
  NativeFirst(const NativeFirst&) = delete;
  NativeFirst& operator=(const NativeFirst&) = delete;

 private:
  std::wstring key_;
};

class PlantedLibraries : public StarterEndToEnd {
 protected:
  void SetUp() override {
    StarterEndToEnd::SetUp();
    for (const char* name : kPlantedNames)
      ASSERT_TRUE(kstest::CopyFileTo(standin_client::StandinPath("planted.dll"), scene_.app() + "\\" + name + ".dll"));
  }
  std::vector<std::string> Markers() const {
    std::vector<std::string> loaded;
    for (const std::string& name : FilesIn(scene_.app()))
      if (EndsWith(name, ".loaded")) loaded.push_back(name);
    return loaded;
  }
  void RunToTheLauncher(const std::string& arguments) {
    NativeFirst native_first(kStarterName);
    RunUntilStarted(arguments, "KSLauncher", "Setup Kestrelon ...");
  }
};

TEST_F(PlantedLibraries, StampedCopyDownloadsAndReports) {
  Serve();
  StampStarter(StampedSettings(Port()));
  RunToTheLauncher("");
  EXPECT_EQ(Markers(), std::vector<std::string>{});
  EXPECT_EQ(Requests(), (std::vector<std::string>{kSizeRequest, kPackageRequest, ReportRequest()}));
}

// The link's checksum is the one use of the system's hash library.
TEST_F(PlantedLibraries, MeetingLinkIsCheckedAndInstalls) {
  Serve();
  CopyStarter();
  RunToTheLauncher(MeetingLink());
  EXPECT_EQ(Markers(), std::vector<std::string>{});
  EXPECT_EQ(Requests(), (std::vector<std::string>{kSizeRequest, kPackageRequest}));
}

TEST_F(PlantedLibraries, ProxyScriptIsRunByTheSystemsLibrary) {
  std::string script = scene_.root() + "\\proxy.pac";
  ASSERT_TRUE(kstest::WriteFile(script, "function FindProxyForURL(url, host) { return \"DIRECT\"; }\n"));
  Serve({"--file", "/proxy.pac=" + script});
  std::string probe = scene_.app() + "\\ks_detect_probe.exe";
  ASSERT_TRUE(kstest::CopyFileTo(kstest::BuildDir() + "\\tests\\ks_detect_probe.exe", probe));
  NativeFirst native_first("ks_detect_probe.exe");
  kstest::ProcessResult result = kstest::RunProcess(
      Quote(probe) + " http://127.0.0.1:" + std::to_string(Port()) + "/proxy.pac", scene_.app(), 60000);
  EXPECT_EQ(Markers(), std::vector<std::string>{});
  EXPECT_TRUE(result.started && !result.timed_out && result.exit_code == 0) << result.output;
  EXPECT_EQ(result.output.substr(0, result.output.find_first_of("\r\n")), "DIRECT") << result.output;
}

}  // namespace
}  // namespace e2e
