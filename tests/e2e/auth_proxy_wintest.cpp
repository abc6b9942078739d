// The install road behind an authenticating proxy (squid, started by
// auth_proxy.sh) that is the only road to the account server: the system's
// credentials dialog appears in the starter and a driver here answers it as
// a participant would.
#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_fixture_win.h"
#include "net/net_fixture_win.h"

namespace e2e {
namespace {

// Only the proxy knows this name (auth_proxy.sh maps it to 127.0.0.1).
const char kProxiedHost[] = "kestrelon-server.test";
const char kUser[] = "ann";
const char kPassword[] = "Kestrel-pass-7";
const char kWrongPassword[] = "Kestrel-wrong-3";

enum class Answer { kRight, kWrong, kCancel };

// Answers each credentials dialog of one process in turn with the next of
// `answers` (the last one repeats), typing into its fields and pressing a
// button as a participant does.
class DialogDriver {
 public:
  DialogDriver(std::function<DWORD()> process, std::vector<Answer> answers)
      : process_(std::move(process)), answers_(std::move(answers)), thread_([this] { Run(); }) {}
  ~DialogDriver() {
    stop_ = true;
    thread_.join();
  }
  int Answered() const { return answered_; }

 private:
  struct Fields {
    HWND user = nullptr;
    HWND password = nullptr;
  };

  void Run() {
    while (!stop_) {
      HWND dialog = FindDialog();
      if (dialog == nullptr) {
        Sleep(50);
        continue;
      }
      Fields fields = FieldsOf(dialog);
      size_t next = static_cast<size_t>(answered_.load());
      Answer answer = answers_[next < answers_.size() ? next : answers_.size() - 1];
      if (answer != Answer::kCancel) {
        SetText(fields.user, kUser);
        SetText(fields.password, answer == Answer::kRight ? kPassword : kWrongPassword);
      }
      PostMessageW(dialog, WM_COMMAND, answer == Answer::kCancel ? IDCANCEL : IDOK, 0);
      ++answered_;
      while (!stop_ && IsWindow(dialog)) Sleep(20);
    }
  }

  // A visible dialog of the process with a password field.
  HWND FindDialog() const {
    DWORD process = process_();
    if (process == 0) return nullptr;
    return FindTopWindow(process, [](HWND window) {
      return IsWindowVisible(window) && HasClass(window, L"#32770") && FieldsOf(window).password != nullptr;
    });
  }

  static Fields FieldsOf(HWND dialog) {
    Fields fields;
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM data) -> BOOL {
          Fields* f = reinterpret_cast<Fields*>(data);
          wchar_t name[16];
          if (GetClassNameW(child, name, 16) == 0 || _wcsicmp(name, L"Edit") != 0) return TRUE;
          if (GetWindowLongW(child, GWL_STYLE) & ES_PASSWORD)
            f->password = child;
          else if (f->user == nullptr)
            f->user = child;
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&fields));
    return fields;
  }

  static void SetText(HWND field, const char* text) {
    std::wstring wide = Widen(text);
    DWORD_PTR result = 0;
    if (field != nullptr)
      SendMessageTimeoutW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), SMTO_ABORTIFHUNG, 5000,
                          &result);
  }

  std::function<DWORD()> process_;  // asked each time: known once the starter runs
  std::vector<Answer> answers_;
  std::atomic<bool> stop_{false};
  std::atomic<int> answered_{0};
  std::thread thread_;
};

struct ProxyRow {
  const char* name;
  std::vector<Answer> answers;
  int prompts;  // 0: the participant cancels, as often as asked
  // An installed, current client whose launch is refused ("Y"): its
  // installation report then runs beside the size request and the download.
  bool refused_launch;
};

class AuthProxyEndToEnd : public StarterEndToEnd, public ::testing::WithParamInterface<ProxyRow> {
 protected:
  void SetUp() override {
    StarterEndToEnd::SetUp();
    std::string port = kstest::ReadFileOrEmpty(kstest::BuildDir() + "\\tests\\auth_proxy\\port");
    while (!port.empty() && (port.back() == '\n' || port.back() == '\r')) port.pop_back();
    ASSERT_FALSE(port.empty()) << "auth_proxy.sh (a CTest fixture of tests_e2e) starts the proxy";
    settings_.SetDword(L"ProxyEnable", 1);
    settings_.SetText(L"ProxyServer", "127.0.0.1:" + port);
  }

  nettest::InternetSettings settings_;
};

TEST_P(AuthProxyEndToEnd, InstallAsksForTheCredentialsOnlyUntilTheProxyTakesThem) {
  const ProxyRow& row = GetParam();
  Serve();
  std::string settings = StampedSettings(Port());
  settings.replace(settings.find("127.0.0.1"), 9, kProxiedHost);
  StampStarter(settings);
  if (row.refused_launch) InstallClient("Y");

  {
    DialogDriver driver([this] { return starter_.Id(); }, row.answers);
    if (row.prompts > 0) {
      RunUntilStarted("", "KSLauncher", kSummaryStart);
      // The process has ended, so the reports too: every request was made,
      // the refused launch's report in any order beside the download's.
      std::vector<std::string> requests = Requests();
      if (row.refused_launch) {
        auto report = std::find(requests.begin(), requests.end(), ReportRequest());
        ASSERT_NE(report, requests.end());
        requests.erase(report);
      }
      EXPECT_EQ(requests, (std::vector<std::string>{kSizeRequest, kPackageRequest, ReportRequest()}));
      EXPECT_EQ(driver.Answered(), row.prompts) << LogDump();
      if (row.prompts == 1) KeepLogFor("started-installer-through-proxy");
    } else {
      ASSERT_TRUE(starter_.Start(scene_, ""));
      CloseAfterOutcome(kIncomplete);
      ExpectNothingInstalled();
      EXPECT_TRUE(Requests().empty());
      EXPECT_GE(driver.Answered(), 1);
      KeepLogFor("failed-proxy-refused");
    }
  }

  std::wstring wide = Widen(kPassword);
  std::string password_utf16(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
  for (const auto& file : TreeOf(scene_.root())) {
    EXPECT_EQ(file.second.find(kPassword), std::string::npos) << file.first;
    EXPECT_EQ(file.second.find(password_utf16), std::string::npos) << file.first;
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, AuthProxyEndToEnd,
                         ::testing::Values(ProxyRow{"RightPassword", {Answer::kRight}, 1, false},
                                           ProxyRow{"WrongThenRight", {Answer::kWrong, Answer::kRight}, 2, false},
                                           ProxyRow{"Cancel", {Answer::kCancel}, 0, false},
                                           ProxyRow{"RefusedLaunchAsksOnce", {Answer::kRight}, 1, true}),
                         [](const ::testing::TestParamInfo<ProxyRow>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
