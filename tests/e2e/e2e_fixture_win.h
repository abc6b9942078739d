#pragma once
// The built starter run as a user runs it: a copy in a folder of its own, a
// private temporary folder (its log, its download and its setup directory),
// the local account server (kstool serve) and the stand-in client programs,
// which record how the starter started them. A scenario watches the files,
// the log, the server's requests and the progress window of the separate
// starter process, and closes that window the way a user would.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/app_test_util_win.h"
#include "base/tag_field.h"
#include "e2e/scene_win.h"
#include "e2e/starter_process_win.h"
#include "standins/standin_client_win.h"
#include "fixtures/serve_process_win.h"
#include "fixtures/win_test_util_win.h"

namespace e2e {

using apptest::Quote;

// What the window says when a run cannot go on, as the participant reads it.
const char kIncomplete[] = "Download is incomplete. Please try it again";
const char kInitFailed[] = "Setup could not be started. Please close this window and try it again";
// The window's text once the installer has been started.
const char kSummaryStart[] = "Setup Kestrelon ...\n\nSummary - average speed: ";

const char kVersion[] = "5.2.1-e2e";
const char kStarterSid[] = "sid-e2e-7731";
const char kUserInput[] = "e2e-noted";

// "\n" line ends as a text-mode file stores them.
inline std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// The settings text a conference server stamps into a starter copy.
inline std::string StampedSettings(int port, const std::string& sid = kStarterSid) {
  return "<__AccountServerIP__>127.0.0.1</__AccountServerIP__>\n"
         "<__AccountServerPort__>" + std::to_string(port) + "</__AccountServerPort__>\n"
         "<__Version__>" + std::string(kVersion) + "</__Version__>\n"
         "<__MeetingId__>m-2024</__MeetingId__>\n"
         "<__AttendeeName__>Ann Example</__AttendeeName__>\n"
         "<__Role__>attendee</__Role__>\n"
         "<__StarterSid__>" + sid + "</__StarterSid__>\n";
}

// The four setup lines the starter puts in front of the settings for the
// installer (and the client, which gets two more).
inline std::string SetupLines(const std::string& setup_directory, const std::string& starter_directory) {
  return "<__SetupDirectory__>" + setup_directory + "</__SetupDirectory__>\n"
         "<__SetupFile__>" + starter_directory + "\\" + kStarterName + "</__SetupFile__>\n"
         "<__SetupFileName__>" + std::string(kStarterName) + "</__SetupFileName__>\n"
         "<__SetupConfigureFile__>" + starter_directory + "\\starter.cfg</__SetupConfigureFile__>\n";
}

// The request targets the server saw, in order, without the "rdm" time
// parameter that requests through WinInet carry.
inline std::vector<std::string> Targets(const kstest::ServeProcess& server) {
  std::vector<std::string> targets;
  for (const std::string& line : server.RequestLines()) {
    size_t start = line.find(' ');
    size_t end = line.rfind(' ');
    if (start == std::string::npos || end <= start) continue;
    std::string target = line.substr(start + 1, end - start - 1);
    size_t rdm = target.find("rdm=");
    if (rdm != std::string::npos && rdm > 0 && (target[rdm - 1] == '&' || target[rdm - 1] == '?')) {
      size_t value_end = target.find('&', rdm);
      if (value_end == std::string::npos)
        target.erase(rdm - 1);
      else
        target.erase(rdm, value_end + 1 - rdm);
    }
    targets.push_back(target);
  }
  return targets;
}

const char kSizeRequest[] = "/as/wapi/get_client_size?client_type=0&xml_format=Y&client=pc";
const char kPackageRequest[] = "/as/wapi/get_client?client_type=0&client=pc";
inline std::string ReportRequest(const std::string& sid = kStarterSid) { return "/as/wapi/ssi?sid=" + sid; }

// Runs kstool and expects it to succeed; its output. kstool always says why
// it fails, so a run that failed without a word did not get to run (seen
// once, on a loaded machine): it is tried once more.
inline std::string Kstool(const std::string& arguments) {
  kstest::ProcessResult result = apptest::RunKstool(arguments);
  if (!(result.started && !result.timed_out && result.exit_code == 0) && result.output.empty())
    result = apptest::RunKstool(arguments);
  EXPECT_TRUE(result.started && !result.timed_out && result.exit_code == 0)
      << "kstool " << arguments << "\nstarted " << result.started << ", timed out " << result.timed_out
      << ", exit code " << result.exit_code << "\n" << result.output;
  return result.output;
}

// A starter, program or package signed_files.sh (run by CTest before
// tests_e2e) made with throw-away certificates.
inline std::string SignedFile(const std::string& name) { return kstest::BuildDir() + "\\tests\\signed\\" + name; }

const char kPackageReadme[] = "Kestrelon client package for the end-to-end tests\r\n";

// Packs a client package into `package` with kstool pack: `installer` as
// KSInstaller.exe, a readme and the client's version file, gathered in the
// new folder `folder`.
inline void PackClient(const std::string& folder, const std::string& installer, const std::string& package) {
  MakeDirectory(folder);
  MakeDirectory(folder + "\\Kestrelon");
  kstest::CopyFileTo(installer, folder + "\\KSInstaller.exe");
  kstest::WriteFile(folder + "\\readme.txt", kPackageReadme);
  kstest::WriteFile(folder + "\\Kestrelon\\version.txt", std::string(kVersion) + "\r\n");
  Kstool("pack " + Quote(folder) + " " + Quote(package));
}

// The client package the account server hands out and the two local
// archives, made once for all scenarios with kstool pack from the stand-in
// installer and a few files.
class Packages {
 public:
  Packages() : dir_("kse2epkg") {
    PackClient(dir_.File("client"), standin_client::StandinPath("KSInstaller.exe"), Client());

    std::string accessory = dir_.File("accessory");
    MakeDirectory(accessory);
    kstest::WriteFile(accessory + "\\accessory.txt", kAccessory);
    Kstool("pack " + Quote(accessory) + " " + Quote(Accessory()));
  }
  std::string Client() const { return dir_.File("client.pkg"); }
  std::string Accessory() const { return dir_.File("accessory.pkg"); }
  long long ClientSize() const { return static_cast<long long>(kstest::ReadFileOrEmpty(Client()).size()); }

  static constexpr const char* kReadme = kPackageReadme;
  static constexpr const char* kAccessory = "accessory file\r\n";

 private:
  kstest::TempDir dir_;
};

class StarterEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { packages_.reset(new Packages()); }
  static void TearDownTestSuite() { packages_.reset(); }

  void SetUp() override {
    // An installation in the user's application folder is the first place
    // the starter looks; one there would decide every scenario.
    wchar_t appdata[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"APPDATA", appdata, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      ASSERT_FALSE(kstest::FileExists(Narrow(appdata) + "\\Kestrelon\\Kestrelon\\version.txt"))
          << "a client installed in the Wine prefix's application folder would decide these scenarios";
    }
    ASSERT_TRUE(kstest::FileExists(packages_->Client()));
  }

  // Whatever the road, the starter never crashed on it.
  void TearDown() override {
    EXPECT_FALSE(kstest::FileExists(scene_.app() + "\\ERRORLOG.TXT")) << "the starter crashed";
    EXPECT_FALSE(kstest::FileExists(scene_.app() + "\\CRASH.DMP")) << "the starter crashed";
  }

  // A road that stopped before the package: nothing unpacked, started or
  // reported.
  void ExpectNothingInstalled() {
    EXPECT_TRUE(scene_.Records().empty());
    EXPECT_FALSE(kstest::FileExists(scene_.SetupDirectory()));
    EXPECT_FALSE(kstest::FileExists(scene_.tmp() + "\\PCClient.zip"));
    EXPECT_FALSE(scene_.LoggedPrefix("Download is completed"));
    EXPECT_FALSE(scene_.LoggedPrefix("StartProcess("));
    EXPECT_FALSE(scene_.LoggedPrefix("sURL = "));
  }

  // Starts the account server with the client package and `extra` options.
  void Serve(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--package", packages_->Client(), "--user-input", kUserInput};
    args.insert(args.end(), extra.begin(), extra.end());
    server_.reset(new kstest::ServeProcess(args));
    ASSERT_TRUE(server_->ok());
  }
  int Port() const { return server_ ? server_->port() : 0; }
  std::vector<std::string> Requests() const { return server_ ? Targets(*server_) : std::vector<std::string>(); }

  // Writes the scene's starter as a copy of `program` (by default the built
  // starter) stamped with `settings` by kstool stamp with `options`.
  void StampStarter(const std::string& settings,
                    const std::string& program = kstest::BuildDir() + "\\KestrelonStarter.exe",
                    const std::string& options = std::string()) {
    std::string settings_file = scene_.root() + "\\stamp_settings.txt";
    ASSERT_TRUE(kstest::WriteFile(settings_file, settings));
    Kstool("stamp " + options + (options.empty() ? "" : " ") + Quote(program) + " " + Quote(settings_file) + " " +
           Quote(scene_.Starter()));
    ASSERT_TRUE(kstest::FileExists(scene_.Starter()));
  }
  // The meeting link (protocol, "sp" and "chk") kstool makes of `query`.
  std::string MakeLink(const std::string& query) {
    std::string query_file = scene_.root() + "\\query.txt";
    EXPECT_TRUE(kstest::WriteFile(query_file, query));
    std::string link = Kstool("query " + Quote(query_file));
    while (!link.empty() && (link.back() == '\n' || link.back() == '\r')) link.pop_back();
    EXPECT_EQ(link.compare(0, 13, "Kestrelon:sp="), 0) << link;
    return link;
  }
  // The link a web page starts the starter with for meeting m-4711 on the
  // scene's server.
  std::string MeetingLink() {
    return MakeLink("account_server_ip=127.0.0.1&port=" + std::to_string(Port()) + "&version=" + kVersion +
                    "&role=attendee&meeting_id=m-4711&name=Ann%20Example");
  }

  // An unstamped copy, for runs that take their parameters from elsewhere.
  void CopyStarter(const std::string& program = kstest::BuildDir() + "\\KestrelonStarter.exe") {
    ASSERT_TRUE(kstest::CopyFileTo(program, scene_.Starter()));
  }

  // An installed client in the client folder (by default the starter's
  // folder "Kestrelon", the last place the starter looks): version file, the
  // stand-in client and, unless `status` is empty, a status file with that
  // launch value.
  void InstallClient(const std::string& status, const std::string& version = kVersion) {
    std::string folder = ClientFolder();
    for (size_t slash = folder.find('\\', 3); slash != std::string::npos; slash = folder.find('\\', slash + 1))
      MakeDirectory(folder.substr(0, slash));
    MakeDirectory(folder);
    ASSERT_TRUE(kstest::WriteFile(folder + "\\version.txt", version + " (installed)\r\n"));
    ASSERT_TRUE(kstest::CopyFileTo(standin_client::StandinPath("Kestrelon.exe"), folder + "\\Kestrelon.exe"));
    if (!status.empty()) {
      ASSERT_TRUE(kstest::WriteFile(folder + "\\setup_status.txt",
                                    "<__ClientCalledToLaunch__>" + status + "</__ClientCalledToLaunch__>"));
    }
  }
  void UseClientFolder(const std::string& folder) { client_folder_ = folder; }
  std::string ClientFolder() const { return client_folder_.empty() ? scene_.app() + "\\Kestrelon" : client_folder_; }
  std::string LaunchStatus() const {
    std::string text = kstest::ReadFileOrEmpty(ClientFolder() + "\\setup_status.txt");
    std::string value;
    Utility::GetTagValue(text.c_str(), "<__ClientCalledToLaunch__>", "</__ClientCalledToLaunch__>", value);
    return value;
  }

  // Runs the starter until `program` (a stand-in name) was started and the
  // starter logged the start; then as CloseAfterOutcome.
  std::string RunUntilStarted(const std::string& arguments, const std::string& program,
                              const std::string& status_prefix) {
    EXPECT_TRUE(starter_.Start(scene_, arguments)) << "error " << starter_.StartError();
    bool started = StarterProcess::WaitUntil([&] {
      return scene_.Started(program) && scene_.LoggedPrefix("StartProcess(sStartProcess = ");
    });
    EXPECT_TRUE(started) << "log:\n" << LogDump();
    return CloseAfterOutcome(status_prefix);
  }

  // Runs the starter until it logs a message starting with `message`; then
  // as CloseAfterOutcome.
  std::string RunUntilLogged(const std::string& arguments, const std::string& message,
                             const std::string& status_prefix) {
    EXPECT_TRUE(starter_.Start(scene_, arguments)) << "error " << starter_.StartError();
    EXPECT_TRUE(StarterProcess::WaitUntil([&] { return scene_.LoggedPrefix(message); })) << "log:\n" << LogDump();
    return CloseAfterOutcome(status_prefix);
  }

  // Runs the starter until it shows a message box, answers the box as its
  // OK button does and closes the window once it says the download must be
  // tried again; the box's text.
  std::string RunUntilMessageBox(const std::string& arguments) {
    EXPECT_TRUE(starter_.Start(scene_, arguments)) << "error " << starter_.StartError();
    std::string message;
    EXPECT_TRUE(StarterProcess::WaitUntil([&] { return !(message = starter_.MessageBoxText()).empty(); }))
        << LogDump();
    EXPECT_TRUE(starter_.DismissMessageBox());
    EXPECT_EQ(CloseAfterOutcome(kIncomplete), kIncomplete);
    return message;
  }

  // Only the launch road closes the window; on every other road it stays
  // until the user closes it. Waits until its status line starts with
  // `status_prefix` (the window shows the worker's last message a moment
  // after the log has it), closes it, expects a clean end and returns the
  // status line it showed.
  std::string CloseAfterOutcome(const std::string& status_prefix) {
    std::string status;
    bool shown = StarterProcess::WaitUntil(
        [&] {
          status = starter_.StatusLine();
          return starter_.Window() != nullptr && status.compare(0, status_prefix.size(), status_prefix) == 0;
        },
        10000);
    EXPECT_TRUE(shown) << "status line: " << status;
    EXPECT_TRUE(starter_.Running());
    EXPECT_TRUE(starter_.CloseWindowAndWait());
    EXPECT_EQ(starter_.ExitCode(), 0u);
    return status;
  }

  // Keeps the run's log for the explain check, named by how the run ended.
  void KeepLogFor(const std::string& outcome) {
    EXPECT_TRUE(kstest::KeepForExplain(outcome, kstest::ReadFileOrEmpty(scene_.tmp() + "\\KSSetup.txt")));
  }

  std::string LogDump() const {
    std::string all;
    for (const std::string& m : scene_.Log()) all += m + "\n";
    return all;
  }

  static std::unique_ptr<Packages> packages_;
  Scene scene_;
  std::unique_ptr<kstest::ServeProcess> server_;
  StarterProcess starter_;
  std::string client_folder_;
};

inline std::unique_ptr<Packages> StarterEndToEnd::packages_;

}  // namespace e2e
