#include "support/run_explanation.h"

#include <cstdlib>
#include <cstring>

#include "base/tag_field.h"
#include "base/text.h"
#include "net/account_server_api.h"
#include "setup/setup_interface.h"

namespace kslog {
namespace {

const char* const kIncomplete = kIncompleteText;
const char* const kNotStarted = kInitFailedText;
const char* const kSizeRequest = AccountServer::kClientSizePath;
const char* const kPackageRequest = AccountServer::kClientPath;

bool StartsWith(const std::string& text, const char* prefix) { return text.compare(0, strlen(prefix), prefix) == 0; }
// The text after `prefix` when it starts with it, else "".
std::string After(const std::string& text, const char* prefix) {
  return StartsWith(text, prefix) ? text.substr(strlen(prefix)) : std::string();
}
bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The text between `after` and `before` (or the end), or "".
std::string Between(const std::string& text, const char* after, const char* before) {
  size_t start = text.find(after);
  if (start == std::string::npos) return std::string();
  start += strlen(after);
  size_t end = before == nullptr ? std::string::npos : text.find(before, start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// One way a request tried to reach its server, and how it went.
struct Attempt {
  enum Kind { kEngine, kScript, kPlain, kSocket, kOther } kind = kOther;
  std::string request;  // path of the request, as the log shows it
  std::string road;
  std::string result;  // "" while the log has not told
  bool failed = false;
  bool timed_out = false;       // given up at a receive limit
  bool connect_failed = false;  // the server was not reached at all
  bool credentials = false;     // the server or proxy asked for credentials (401/407)
};

// Lines of the engine's request trace, which tell no result.
bool IsTrace(const std::string& message) {
  return StartsWith(message, "after ") || StartsWith(message, "Conn lTimeout") || StartsWith(message, "Recv lTimeout") ||
         StartsWith(message, "Send lTimeout") || StartsWith(message, "HSR resend");
}

bool IsSocketFailure(const std::string& message) {
  static const char* const kFailures[] = {"Failed to parse", "Failed to get IP", "inet_addr(", "gethostbyname",
                                          "socket() failed", "connect() failed", "send() failed", "recv() iReturn",
                                          "invalid header", "invalid Content-Length", "Content-Length does not",
                                          "received ", "failed to allocate", "uHostent"};
  for (const char* failure : kFailures)
    if (StartsWith(message, failure)) return true;
  return false;
}

void Fail(Attempt& attempt, const std::string& message) {
  attempt.failed = true;
  attempt.result = "failed: " + message;
  // 12002: WinInet's request timed out; 10060: the socket's receive did.
  if (Has(message, "error code: 12002,") || Has(message, "error code: 10060,")) attempt.timed_out = true;
  // 12029: WinInet could not connect; 12007: the name did not resolve.
  if (Has(message, "error code: 12029,") || Has(message, "error code: 12007,") ||
      StartsWith(message, "connect() failed") || StartsWith(message, "Failed to get IP") ||
      StartsWith(message, "gethostbyname"))
    attempt.connect_failed = true;
}

std::string RoadName(char letter, const std::string& proxy) {
  switch (letter) {
    case 'D': return "D direct";
    case 'L': return "L system settings";
    case 'P': return "P proxy " + proxy;
    case 'H': return "H https proxy " + proxy;
    case 'S': return "S socks proxy " + proxy;
    default: return std::string(1, letter) + " proxy " + proxy;
  }
}

// Follows the requests of a run through their access roads.
class RoadReader {
 public:
  void Read(const LogRecord& record) {
    const std::string& op = record.operation;
    const std::string& m = record.message;
    if (op == "HLib::GetPage" && StartsWith(m, "sIP = ")) {
      Close("");
      request_ = Between(m, ", URL = ", ", m_iExpectedReceiveSize");
      if (server_.empty()) server_ = Between(m, "sIP = ", ", iPort") + ":" + Between(m, ", iPort = ", ", URL");
    } else if (op == "HR::DoRequest") {
      if (m == "Skip 127.0.0.1") {
        Close("");
        if (attempts_.empty() || attempts_.back().request != request_ || attempts_.back().road != kSkipped)
          Open(Attempt::kEngine, kSkipped).result = "skipped: the engine never tries 127.0.0.1";
      } else if (StartsWith(m, "Begin HR::DoRequest(), ")) {
        std::string letter = Between(m, "cPType=", ", sByPass");
        Open(Attempt::kEngine, RoadName(letter.empty() ? '?' : letter[0], Between(m, "sPAddress=", ", URL=")));
      } else if (Current(Attempt::kEngine)) {
        Attempt& attempt = attempts_.back();
        if (StartsWith(m, "after HQI troubled dwCode = 407") || StartsWith(m, "after HQI troubled dwCode = 401")) {
          attempt.credentials = true;
          attempt.failed = true;
          attempt.result = "failed: credentials asked for (" + m.substr(19) + ")";
        }
        if (IsTrace(m)) return;
        if (StartsWith(m, "HR::DoRequest succeeded!"))
          attempt.result = attempt.credentials ? "read the page that asked for credentials" : "ok";
        else
          Fail(attempt, m);
      }
    } else if (op == "HR::Detect") {
      if (StartsWith(m, "host=")) {
        std::string location = Between(m, "WPADLocation = ", nullptr);
        Open(Attempt::kScript, "proxy script " + (location.empty() ? std::string("(discovered)") : location));
      } else if (Current(Attempt::kScript)) {
        if (StartsWith(m, "666 "))
          attempts_.back().result = m.size() > 4 ? "ok: " + m.substr(4) : "failed: no proxy";
        else if (!StartsWith(m, "The script: "))
          Fail(attempts_.back(), m);
      }
    } else if (op == "HR::SendRequest") {
      if (StartsWith(m, "HR::SendRequest failed!")) Open(Attempt::kPlain, "plain WinInet request");
      if (StartsWith(m, "OK with aServerAccessSetting") || StartsWith(m, "Failed with aServerAccessSetting"))
        MarkRemembered();
    } else if (op == "HR::GetPage" ||
               (op == "HLib::GetPage" && (StartsWith(m, "HSR() failed") || StartsWith(m, "IRE() failed") ||
                                          StartsWith(m, "Crash, ") || StartsWith(m, "No keyword")))) {
      // "No keyword" fails only the plain request; the socket fetch only warns.
      if (Current(Attempt::kPlain)) Fail(attempts_.back(), m);
    } else if (op == "HLib::GetPage" && StartsWith(m, "HTTP fialed. Now try TCP")) {
      Open(Attempt::kSocket, "socket fallback");
    } else if (op == "HLib::GetPage" && (StartsWith(m, "Invalid request") || StartsWith(m, "Counted download refused") ||
                                         StartsWith(m, "Empty IP"))) {
      Fail(Open(Attempt::kOther, "request"), m);
    } else if (op == "Utility::URLDownload" || op == "Utility::GetIPAddressByName") {
      if (Current(Attempt::kSocket) && IsSocketFailure(m) && !attempts_.back().failed) Fail(attempts_.back(), m);
    } else if (!StartsWith(op, "HR::") && !StartsWith(op, "HLib::") && !StartsWith(op, "MyConfigure::")) {
      Close("");
    }
  }

  // Attempts still open when the log ends have no result.
  const std::vector<Attempt>& Finish() {
    Close("no result: the log ends here");
    return attempts_;
  }
  const std::string& server() const { return server_; }

 private:
  static constexpr const char* kSkipped = "engine (D, L, P, H, S)";

  Attempt& Open(Attempt::Kind kind, const std::string& road) {
    Close("");
    Attempt attempt;
    attempt.kind = kind;
    attempt.request = request_;
    attempt.road = road;
    attempts_.push_back(attempt);
    open_ = true;
    return attempts_.back();
  }
  bool Current(Attempt::Kind kind) const { return open_ && !attempts_.empty() && attempts_.back().kind == kind; }
  // Ends the open attempt. One the log told nothing about went through, but
  // for the engine, which always tells; `unfinished` when the log ended first.
  void Close(const char* unfinished) {
    if (open_ && attempts_.back().result.empty()) {
      Attempt& attempt = attempts_.back();
      if (*unfinished != '\0')
        attempt.result = unfinished;
      else
        attempt.result = attempt.kind == Attempt::kEngine ? "no result" : "ok";
    }
    open_ = false;
  }
  void MarkRemembered() {
    for (size_t i = attempts_.size(); i-- > 0;) {
      if (attempts_[i].kind != Attempt::kEngine) continue;
      attempts_[i].road += " (remembered)";
      return;
    }
  }

  std::vector<Attempt> attempts_;
  std::string request_;
  std::string server_;
  bool open_ = false;
};

struct Outcome {
  Outcome() {}
  Outcome(const std::string& how, const std::string& message, const std::string& last_text,
          const std::string& box = std::string())
      : outcome(how), because(message), window(last_text), message_box(box) {}
  std::string outcome;
  std::string because;
  std::string window;
  std::string message_box;  // shown before the window's last text
};

bool AnyOf(const std::vector<Attempt>& attempts, const char* request, bool Attempt::*flag) {
  for (const Attempt& attempt : attempts)
    if (attempt.request == request && attempt.*flag) return true;
  return false;
}

// Every road of the request that was tried failed without reaching the server.
bool NoRoadConnected(const std::vector<Attempt>& attempts, const char* request) {
  bool tried = false;
  for (const Attempt& attempt : attempts) {
    if (attempt.request != request || StartsWith(attempt.result, "skipped")) continue;
    if (!attempt.connect_failed) return false;
    tried = true;
  }
  return tried;
}

std::string Failed(const char* cause) { return std::string("failed: ") + cause; }

// A failed request's cause: credentials asked for, a receive limit, or `otherwise`.
std::string RequestCause(const std::vector<Attempt>& attempts, const char* request, const char* otherwise) {
  if (AnyOf(attempts, request, &Attempt::credentials)) return Failed("proxy-refused");
  if (AnyOf(attempts, request, &Attempt::timed_out)) return Failed("no-answer");
  return Failed(otherwise);
}

// A publisher refusal: "Refused <file> (<why>): ..." or "Refused package
// <path> (<what>)": the parenthesis comes before any ": ", which a refused
// settings text or parameter file ("Refused sSetting: ...") does not have.
bool IsPackageRefusal(const std::string& message) {
  if (!StartsWith(message, "Refused ")) return false;
  size_t parenthesis = message.find(" (");
  size_t colon = message.find(": ");
  return parenthesis != std::string::npos && (colon == std::string::npos || parenthesis < colon);
}

}  // namespace

std::vector<Fact> ExplainRun(const std::vector<LogRecord>& all, const LogRun& run, bool last_record_cut) {
  RoadReader roads;
  std::string command_line, starter, version_wanted, client_found, client_name, registered;
  std::string size_line, download_start_time, download_size, received;
  std::vector<std::string> started;
  std::string pending_start;
  bool download_done = false, download_needed = true, saw_size_request = false, saw_progress = false;
  int write_failures = 0;
  Outcome outcome;

  size_t end = run.first + run.count < all.size() ? run.first + run.count : all.size();
  for (size_t i = run.first; i < end; ++i) {
    const LogRecord& record = all[i];
    const std::string& op = record.operation;
    const std::string& m = record.message;
    roads.Read(record);

    if (op == "BootwickApp::InitInstance()" && StartsWith(m, "m_lpCmdLine = "))
      command_line = After(m, "m_lpCmdLine = ");
    if (StartsWith(m, "sCurrentFilePath = ") && starter.empty())
      starter = Between(m, "sCurrentFilePath = ", ", sCurrentFileName = ");
    if (StartsWith(m, "sSetting = ")) {
      std::string version;
      if (Utility::GetTagValue(m.c_str(), "<__Version__>", "</__Version__>", version)) version_wanted = version;
    }
    if (StartsWith(m, "sVersionFileName is ") && client_name.empty()) {
      // {folder}\{client}\Kestrelon\version.txt names the client.
      std::string path = After(m, "sVersionFileName is ");
      size_t product = path.rfind("\\Kestrelon\\version.txt");
      size_t slash = product == std::string::npos || product == 0 ? std::string::npos : path.rfind('\\', product - 1);
      if (slash != std::string::npos) client_name = path.substr(slash + 1, product - slash - 1);
    }
    if (StartsWith(m, "sExistingVersion is "))
      client_found = Between(m, ", m_sClientDirectory = ", nullptr) + ", version " +
                     Between(m, "sExistingVersion is ", ", m_sClientDirectory");
    if (m == "Failed to find any KS installation") client_found = "none";
    if (StartsWith(m, "Existing version is current") && version_wanted.empty())
      version_wanted = Between(client_found, ", version ", nullptr);
    if (StartsWith(m, "No Meeting Parameter, sClientName = ")) registered = After(m, "No Meeting Parameter, sClientName = ");

    // The download.
    if (op == "SetupHandler::Download") {
      if (m == "Download is not needed") download_needed = false;
      if (StartsWith(m, "In Download")) saw_size_request = true;
      if (StartsWith(m, "iDownloadSize = ")) {
        download_size = After(m, "iDownloadSize = ");
        download_start_time = record.time;
        saw_progress = true;
      }
      if (StartsWith(m, "Download is completed") || StartsWith(m, "Filed to complete download")) {
        received = Between(m, "actual received = ", nullptr);
        long long seconds = RecordSeconds(record.time) - RecordSeconds(download_start_time);
        long long bytes = atoll(received.c_str());
        if (seconds > 0)
          size_line = ks::Format(" in %lld s, average %lld kbps", seconds, bytes * 8 / 1000 / seconds);
        else if (RecordSeconds(record.time) >= 0 && !download_start_time.empty())
          size_line = " in under a second";
        download_done = StartsWith(m, "Download is completed");
      }
    }

    // What was started.
    if (op == "Utility::StartProcess") {
      if (StartsWith(m, "sCommandLine = ")) {
        if (!pending_start.empty()) started.push_back(pending_start + ": no result");
        pending_start = Between(m, "sCommandLine = ", ", sWorkingDirectory = ");
        while (!pending_start.empty() && pending_start.back() == ' ') pending_start.pop_back();
        std::string directory = Between(m, ", sWorkingDirectory = ", nullptr);
        if (!directory.empty()) pending_start += " (in " + directory + ")";
      } else if (!pending_start.empty()) {
        // A failed process start ("iErrorCode") falls back to the shell,
        // which may still start it.
        if (m == "succeeded.") {
          started.push_back(pending_start + ": started");
          pending_start.clear();
        } else if (StartsWith(m, "ShellExecute(") || StartsWith(m, "UTF8ToUTF16 failed")) {
          started.push_back(pending_start + ": not started: " + m);
          pending_start.clear();
        }
      }
    }
    if (StartsWith(m, "ShellExecuteEx() sInstaller = "))
      started.push_back(After(m, "ShellExecuteEx() sInstaller = ") + " through the shell: started");

    // How the run ended: the last decisive record wins.
    if (StartsWith(m, "Skip installation --- Utility::StartProcess(")) {
      outcome = {"launched-client", m, "closed itself (\"Launching %s ... \")"};
    } else if (op == "SetupHandler::CallToInstall" &&
               (StartsWith(m, "StartProcess(sStartProcess = ") || StartsWith(m, "ShellExecuteEx() sInstaller = "))) {
      outcome = {"started-installer", m, ""};
    } else if (IsPackageRefusal(m)) {
      outcome = {Failed("package-refused"), m, kIncomplete};
    } else if (StartsWith(m, "No Meeting Parameter, sClientName = ") || StartsWith(m, "invalid sCurrentFileName = ")) {
      // A command line that gave no meeting is a link the starter could not read.
      if (command_line.empty())
        outcome = {"registered-only", m, "none (no meeting, no window)"};
      else if (outcome.outcome.empty() || outcome.outcome == "registered-only")
        outcome = {Failed("link-unreadable"), m, kNotStarted};
    } else if (StartsWith(m, "Utility::DecryptQuery() failed.") || StartsWith(m, "Refused sSetting") ||
               StartsWith(m, "sParameter refused")) {
      outcome = {Failed("link-unreadable"), m, kNotStarted};
    } else if (m == "InitializeSetup() failed") {
      // The parameter file its caller names could not be read.
      outcome = {Failed("link-unreadable"), m, kNotStarted};
    } else if (StartsWith(m, "Setup lines and settings need ")) {
      outcome = {Failed("link-unreadable"), m, "", "Unable to prepare the parameters for the installation"};
    } else if (StartsWith(m, "sStartProcess does not fit ")) {
      outcome = {Failed("link-unreadable"), m, kIncomplete};
    } else if (StartsWith(m, "Failed to download client from: ")) {
      outcome = {"size", m, kIncomplete};
    } else if (StartsWith(m, "Filed to complete download: ")) {
      outcome = {"package", m, kIncomplete};
    } else if (op == "SetupHandler::ProcessDownloadedClient" && StartsWith(m, "Filed to create: ")) {
      outcome = {Failed("disk"), m, "", "Unable to create a directory to install the downloaded software"};
    } else if (op == "SetupHandler::ProcessDownloadedClient" && StartsWith(m, "Filed to open file to write: ") &&
               Has(m, "PCClient.zip") && ++write_failures >= 2) {
      // The package file is tried in the temporary folder, then beside the
      // starter: only the second failure ends the run.
      outcome = {Failed("disk"), m, "", "Unable to save the download file"};
    } else if (StartsWith(m, "Failed to start the setup thread") || StartsWith(m, "Failed to start the download thread")) {
      outcome = {Failed("interrupted"), m, StartsWith(m, "Failed to start the setup") ? kNotStarted : kIncomplete};
    }
  }
  if (!pending_start.empty()) started.push_back(pending_start + ": no result");
  const std::vector<Attempt>& attempts = roads.Finish();

  if (client_name.empty()) client_name = registered.empty() ? "Kestrelon" : registered;
  if (outcome.outcome == "size") {
    std::string reply = Between(outcome.because, "sDownloadSize = ", nullptr);
    int size = ks::ParseInt(Between(outcome.because, "iDownloadSize = ", ",").c_str());
    if (AnyOf(attempts, kSizeRequest, &Attempt::credentials))
      outcome.outcome = Failed("proxy-refused");
    else if (reply.empty() && size == 0 && AnyOf(attempts, kSizeRequest, &Attempt::timed_out))
      outcome.outcome = Failed("no-answer");
    else if (reply.empty() && size == 0 && NoRoadConnected(attempts, kSizeRequest))
      outcome.outcome = Failed("server-unreachable");
    else
      outcome.outcome = Failed("bad-size");
  } else if (outcome.outcome == "package") {
    outcome.outcome = RequestCause(attempts, kPackageRequest, "incomplete-download");
  } else if (outcome.outcome.empty()) {
    const LogRecord* last = run.count > 0 ? &all[end - 1] : nullptr;
    outcome = {Failed("interrupted"), last != nullptr ? "the log ends with: " + last->message : "", ""};
    if (download_done)
      outcome.window = "\"Setup %s ...\" with the download summary";
    else if (saw_progress)
      outcome.window = "\"Downloading %s ...\" with the progress";
    else if (saw_size_request && download_needed)
      outcome.window = "\"Connecting ...\"";
    else
      outcome.window = "nothing yet";
  }
  if (outcome.outcome == "started-installer")
    outcome.window = download_needed ? "\"Setup %s ...\" with the download summary"
                                     : "nothing (the local archives needed no download)";
  if (!outcome.message_box.empty())
    outcome.window = "message box \"" + outcome.message_box + "\", then \"" + kIncomplete + "\"";
  else if (outcome.window == kIncomplete || outcome.window == kNotStarted)
    outcome.window = "\"" + outcome.window + "\"";
  size_t placeholder = outcome.window.find("%s");
  if (placeholder != std::string::npos) outcome.window.replace(placeholder, 2, client_name);

  std::vector<Fact> facts;
  facts.emplace_back("outcome", outcome.outcome);
  if (!outcome.because.empty()) facts.emplace_back("because", outcome.because);
  if (!run.has_start)
    facts.emplace_back("note", "the log begins in the middle of this run; its start is in the log before (.bak)");
  if (last_record_cut) facts.emplace_back("note", "the last record was cut off while it was written");
  facts.emplace_back("starter", (starter.empty() ? std::string("(not in the log)") : starter) + ", version wanted " +
                                    (version_wanted.empty() ? std::string("(not in the log)") : version_wanted));
  facts.emplace_back("command line", command_line.empty() ? "(none)" : command_line);
  facts.emplace_back("client found", client_found.empty() ? "(not looked for)" : client_found);
  if (!registered.empty()) facts.emplace_back("registered", "URL protocol " + registered);
  facts.emplace_back("account server", roads.server().empty() ? "(no request)" : roads.server());
  for (const Attempt& attempt : attempts)
    facts.emplace_back("road", attempt.request + ": " + attempt.road + ": " + attempt.result);
  if (!download_size.empty())
    facts.emplace_back("size", "asked " + download_size + " bytes, received " +
                                   (received.empty() ? std::string("(not in the log)") : received + " bytes") +
                                   size_line);
  else if (!download_needed)
    facts.emplace_back("size", "no download: the local archives were unpacked");
  facts.emplace_back("window", outcome.window.empty() ? "(nothing)" : outcome.window);
  for (const std::string& start : started) facts.emplace_back("started", start);
  return facts;
}

}  // namespace kslog
