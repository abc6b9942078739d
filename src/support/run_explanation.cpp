#include "support/run_explanation.h"

#include <cstdlib>

#include "base/tag_field.h"
#include "base/text.h"
#include "net/account_server_api.h"
#include "setup/setup_interface.h"
#include "support/message_text.h"
#include "support/request_roads.h"

namespace kslog {
namespace {

using ks::FailureCause;

const char* const kIncomplete = kIncompleteText;
const char* const kNotStarted = kInitFailedText;
const char* const kSizeRequest = AccountServer::kClientSizePath;
const char* const kPackageRequest = AccountServer::kClientPath;

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

// A failed request's cause: credentials asked for, a receive limit, or `otherwise`.
std::string RequestCause(const std::vector<Attempt>& attempts, const char* request, FailureCause otherwise) {
  if (AnyOf(attempts, request, &Attempt::credentials)) return Failed(FailureCause::kProxyRefused);
  if (AnyOf(attempts, request, &Attempt::timed_out)) return Failed(FailureCause::kNoAnswer);
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

std::string Failed(FailureCause cause) { return std::string("failed: ") + ks::FailureCauseName(cause); }

std::vector<Fact> ExplainRun(const ParsedLog& log, const LogRun& run) {
  const std::vector<LogRecord>& all = log.records;
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
        // Kilobits are bytes x 8 / 1000, taken as bytes / 125: a count the
        // log claims cannot overflow it.
        if (seconds > 0)
          size_line = ks::Format(" in %lld s, average %lld kbps", seconds, bytes / 125 / seconds);
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
      outcome = {Failed(FailureCause::kPackageRefused), m, kIncomplete};
    } else if (StartsWith(m, "No Meeting Parameter, sClientName = ") || StartsWith(m, "invalid sCurrentFileName = ")) {
      // A command line that gave no meeting is a link the starter could not read.
      if (command_line.empty())
        outcome = {"registered-only", m, "none (no meeting, no window)"};
      else if (outcome.outcome.empty() || outcome.outcome == "registered-only")
        outcome = {Failed(FailureCause::kLinkUnreadable), m, kNotStarted};
    } else if (StartsWith(m, "Utility::DecryptQuery() failed.") || StartsWith(m, "Refused sSetting") ||
               StartsWith(m, "sParameter refused")) {
      outcome = {Failed(FailureCause::kLinkUnreadable), m, kNotStarted};
    } else if (m == "InitializeSetup() failed") {
      // The parameter file its caller names could not be read.
      outcome = {Failed(FailureCause::kLinkUnreadable), m, kNotStarted};
    } else if (StartsWith(m, "Setup lines and settings need ")) {
      outcome = {Failed(FailureCause::kLinkUnreadable), m, "", "Unable to prepare the parameters for the installation"};
    } else if (StartsWith(m, "sStartProcess does not fit ")) {
      outcome = {Failed(FailureCause::kLinkUnreadable), m, kIncomplete};
    } else if (StartsWith(m, "Failed to download client from: ")) {
      outcome = {"size", m, kIncomplete};
    } else if (StartsWith(m, "Filed to complete download: ")) {
      outcome = {"package", m, kIncomplete};
    } else if (op == "SetupHandler::ProcessDownloadedClient" && StartsWith(m, "Filed to create: ")) {
      outcome = {Failed(FailureCause::kDisk), m, "", "Unable to create a directory to install the downloaded software"};
    } else if (op == "SetupHandler::ProcessDownloadedClient" && StartsWith(m, "Filed to open file to write: ") &&
               Has(m, "PCClient.zip") && ++write_failures >= 2) {
      // The package file is tried in the temporary folder, then beside the
      // starter: only the second failure ends the run.
      outcome = {Failed(FailureCause::kDisk), m, "", "Unable to save the download file"};
    } else if (StartsWith(m, "Failed to start the setup thread") || StartsWith(m, "Failed to start the download thread")) {
      outcome = {Failed(FailureCause::kInterrupted), m, StartsWith(m, "Failed to start the setup") ? kNotStarted : kIncomplete};
    }
  }
  if (!pending_start.empty()) started.push_back(pending_start + ": no result");
  const std::vector<Attempt>& attempts = roads.Finish();

  if (client_name.empty()) client_name = registered.empty() ? "Kestrelon" : registered;
  if (outcome.outcome == "size") {
    std::string reply = Between(outcome.because, "sDownloadSize = ", nullptr);
    int size = ks::ParseInt(Between(outcome.because, "iDownloadSize = ", ",").c_str());
    if (AnyOf(attempts, kSizeRequest, &Attempt::credentials))
      outcome.outcome = Failed(FailureCause::kProxyRefused);
    else if (reply.empty() && size == 0 && AnyOf(attempts, kSizeRequest, &Attempt::timed_out))
      outcome.outcome = Failed(FailureCause::kNoAnswer);
    else if (reply.empty() && size == 0 && NoRoadConnected(attempts, kSizeRequest))
      outcome.outcome = Failed(FailureCause::kServerUnreachable);
    else
      outcome.outcome = Failed(FailureCause::kBadSize);
  } else if (outcome.outcome == "package") {
    outcome.outcome = RequestCause(attempts, kPackageRequest, FailureCause::kIncompleteDownload);
  } else if (outcome.outcome.empty()) {
    const LogRecord* last = run.count > 0 ? &all[end - 1] : nullptr;
    outcome = {Failed(FailureCause::kInterrupted), last != nullptr ? "the log ends with: " + last->message : "", ""};
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
  if (log.last_record_cut && end == all.size())
    facts.emplace_back("note", "the last record was cut off while it was written");
  for (const LogNote& note : log.notes)
    if (note.record >= run.first && note.record < end) facts.emplace_back("note", note.text);
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
