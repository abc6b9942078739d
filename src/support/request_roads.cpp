#include "support/request_roads.h"

#include "net/account_server_api.h"
#include "support/message_text.h"

namespace kslog {
namespace {

const char kSkipped[] = "engine (D, L, P, H, S)";

// Lines of the engine's request trace, which tell no result.
bool IsTrace(const std::string& message) {
  return StartsWith(message, "after ") || StartsWith(message, "Conn lTimeout") || StartsWith(message, "Recv lTimeout") ||
         StartsWith(message, "Send lTimeout") || StartsWith(message, "HSR resend");
}

bool IsRefused(const Attempt& attempt) { return attempt.credentials; }
bool HasNoAnswer(const Attempt& attempt) { return attempt.result.empty(); }
bool IsUnfailed(const Attempt& attempt) { return !attempt.failed; }
// No answer told yet, or only the refusal, which a resend may still turn.
bool IsAwaitingAnswer(const Attempt& attempt) { return attempt.result.empty() || attempt.credentials; }

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

// A request's path as the log names it: without scheme, host or query.
std::string PathOf(const std::string& url) {
  std::string path = url;
  size_t scheme = path.find("://");
  if (scheme != std::string::npos) {
    size_t slash = path.find('/', scheme + 3);
    path = slash == std::string::npos ? "/" : path.substr(slash);
  }
  size_t query = path.find('?');
  if (query != std::string::npos) path.resize(query);
  return path;
}

}  // namespace

void RoadReader::Read(const LogRecord& record) {
  const std::string& op = record.operation;
  const std::string& m = record.message;
  if (op == "HLib::GetPage") {
    if (StartsWith(m, "sIP = ")) {
      Begin(Between(m, ", URL = ", ", m_iExpectedReceiveSize"));
      if (server_.empty()) server_ = Between(m, "sIP = ", ", iPort") + ":" + Between(m, ", iPort = ", ", URL");
    } else if (StartsWith(m, "Empty IP")) {
      Begin(Between(m, ", URL = ", ", m_iExpectedReceiveSize"));
      Fail(Open(requests_.back(), Attempt::kOther, "request"), m);
    } else if (StartsWith(m, "Invalid request") || StartsWith(m, "Counted download refused")) {
      // Written right after the first record of its request.
      if (!requests_.empty()) Fail(Open(requests_.back(), Attempt::kOther, "request"), m);
    } else if (StartsWith(m, "HSR() failed") || StartsWith(m, "IRE() failed") || StartsWith(m, "Crash, ") ||
               StartsWith(m, "No keyword")) {
      // "No keyword" fails only the plain request; the socket fetch only warns.
      if (Attempt* plain = Oldest(Attempt::kPlain, IsUnfailed)) Fail(*plain, m);
    } else if (StartsWith(m, "HTTP fialed. Now try TCP")) {
      Open(Named(PathOf(After(m, "HTTP fialed. Now try TCP for URL = "))), Attempt::kSocket, "socket fallback");
    }
  } else if (op == "HR::GetPage") {
    if (Attempt* plain = Oldest(Attempt::kPlain, IsUnfailed)) Fail(*plain, m);
  } else if (op == "HR::DoRequest") {
    if (m == "Skip 127.0.0.1") {
      ReadSkip();
    } else if (StartsWith(m, "Begin HR::DoRequest(), ")) {
      std::string letter = Between(m, "cPType=", ", sByPass");
      Open(Named(PathOf(Between(m, ", URL=", nullptr))), Attempt::kEngine,
           RoadName(letter.empty() ? '?' : letter[0], Between(m, "sPAddress=", ", URL=")));
    } else {
      ReadEngine(m);
    }
  } else if (op == "HR::Detect") {
    if (StartsWith(m, "host=")) {
      std::string location = Between(m, "WPADLocation = ", nullptr);
      Open(Named(PathOf(Between(m, "; url=", ", WPADLocation = "))), Attempt::kScript,
           "proxy script " + (location.empty() ? std::string("(discovered)") : location));
    } else {
      ReadScript(m);
    }
  } else if (op == "HR::SendRequest") {
    if (StartsWith(m, "HR::SendRequest failed! "))
      Open(Named(PathOf(Between(m, "HR::SendRequest failed! ", ", "))), Attempt::kPlain, "plain WinInet request");
    if (StartsWith(m, "OK with aServerAccessSetting") || StartsWith(m, "Failed with aServerAccessSetting")) {
      // The engine attempt that the access cache remembers or forgets.
      Request& request = Named(PathOf(Between(m, ", URL = ", nullptr)));
      for (size_t i = attempts_.size(); i-- > 0;) {
        if (attempts_[i].kind != Attempt::kEngine || attempts_[i].request != request.path) continue;
        attempts_[i].road += " (remembered)";
        break;
      }
    }
  } else if (op == "Utility::URLDownload" || op == "Utility::GetIPAddressByName") {
    if (!IsSocketFailure(m)) return;
    if (Attempt* socket = Oldest(Attempt::kSocket, IsUnfailed)) Fail(*socket, m);
  } else if (!StartsWith(op, "HR::") && !StartsWith(op, "HLib::") && !StartsWith(op, "MyConfigure::")) {
    ReadCaller(record);
  }
}

const std::vector<Attempt>& RoadReader::Finish() {
  for (Request& request : requests_) End(request, "no result: the log ends here");
  return attempts_;
}

void RoadReader::Begin(const std::string& path) {
  // A request for the same path again means the one before has returned.
  for (Request& request : requests_)
    if (request.path == path) End(request, "");
  Request request;
  request.path = path;
  requests_.push_back(request);
}

// Ends the request's open attempt. One the log told nothing about went
// through, but for the engine, which always tells; `unfinished` when the
// log ended first.
void RoadReader::End(Request& request, const char* unfinished) {
  if (request.open >= 0) {
    Attempt& attempt = attempts_[static_cast<size_t>(request.open)];
    if (attempt.result.empty()) {
      if (*unfinished != '\0')
        attempt.result = unfinished;
      else
        attempt.result = attempt.kind == Attempt::kEngine ? "no result" : "ok";
    }
  }
  request.open = -1;
  request.ended = true;
}

RoadReader::Request& RoadReader::Named(const std::string& path) {
  for (size_t i = requests_.size(); i-- > 0;)
    if (requests_[i].path == path && !requests_[i].ended) return requests_[i];
  for (size_t i = requests_.size(); i-- > 0;) {
    if (requests_[i].path != path) continue;
    requests_[i].ended = false;
    return requests_[i];
  }
  // A log that begins in the middle of a request.
  Begin(path);
  return requests_.back();
}

Attempt& RoadReader::Open(Request& request, Attempt::Kind kind, const std::string& road) {
  End(request, "");
  request.ended = false;
  if (kind != Attempt::kEngine) request.past_engine = true;
  Attempt attempt;
  attempt.kind = kind;
  attempt.request = request.path;
  attempt.road = road;
  attempts_.push_back(attempt);
  request.open = static_cast<int>(attempts_.size() - 1);
  return attempts_.back();
}

Attempt* RoadReader::Oldest(Attempt::Kind kind, bool (*takes)(const Attempt&)) {
  int oldest = -1;
  for (const Request& request : requests_) {
    if (request.ended || request.open < 0) continue;
    const Attempt& attempt = attempts_[static_cast<size_t>(request.open)];
    if (attempt.kind != kind || (takes != nullptr && !takes(attempt))) continue;
    if (oldest < 0 || request.open < oldest) oldest = request.open;
  }
  return oldest < 0 ? nullptr : &attempts_[static_cast<size_t>(oldest)];
}

void RoadReader::ReadSkip() {
  // Each engine road logs it; the request is the first still before its engine.
  for (Request& request : requests_) {
    if (request.ended || request.skipped || request.past_engine) continue;
    request.skipped = true;
    Open(request, Attempt::kEngine, kSkipped).result = "skipped: the engine never tries 127.0.0.1";
    request.open = -1;
    return;
  }
}

void RoadReader::ReadEngine(const std::string& m) {
  bool given = StartsWith(m, "proxy credentials of this run given");
  bool kept = StartsWith(m, "proxy credentials kept");
  bool refused = StartsWith(m, "after HQI troubled dwCode = 407") || StartsWith(m, "after HQI troubled dwCode = 401");
  if (IsTrace(m) && !refused) return;
  // Two requests through one authenticating proxy: both are refused, one
  // asks the participant and keeps what was typed, the other waits for that
  // dialog and is given it. Credentials go to a refused request first; a
  // refusal, or credentials given before the first send, to one that has
  // no answer yet; a result to one still waiting for it (a refusal may
  // still be turned by a resend).
  Attempt* attempt = given || kept ? Oldest(Attempt::kEngine, IsRefused) : nullptr;
  if (attempt == nullptr)
    attempt = Oldest(Attempt::kEngine, given || kept || refused ? HasNoAnswer : IsAwaitingAnswer);
  if (attempt == nullptr) attempt = Oldest(Attempt::kEngine, nullptr);
  if (attempt == nullptr) return;
  if (given || kept) {
    if (kept || attempt->credentials) {
      attempt->credentials = false;
      attempt->failed = false;
      attempt->result.clear();
    }
    attempt->road += kept ? " (credentials typed and kept)" : " (credentials typed earlier in this run)";
  } else if (refused) {
    attempt->credentials = true;
    attempt->failed = true;
    attempt->result = "failed: credentials asked for (" + m.substr(19) + ")";
  } else if (StartsWith(m, "HR::DoRequest succeeded!")) {
    attempt->result = attempt->credentials ? "read the page that asked for credentials" : "ok";
  } else {
    Fail(*attempt, m);
  }
}

void RoadReader::ReadScript(const std::string& m) {
  Attempt* script = Oldest(Attempt::kScript, nullptr);
  if (script == nullptr) return;
  if (StartsWith(m, "666 "))
    script->result = m.size() > 4 ? "ok: " + m.substr(4) : "failed: no proxy";
  else if (!StartsWith(m, "The script: "))
    Fail(*script, m);
}

void RoadReader::ReadCaller(const LogRecord& record) {
  // Each caller's record after its request tells that the request returned.
  const std::string& m = record.message;
  std::string path;
  if (StartsWith(m, "sURL = "))
    path = PathOf(Between(m, "sURL = ", ", sReturn = "));
  else if (record.operation == "SetupHandler::Download" &&
           (StartsWith(m, "iDownloadSize = ") || StartsWith(m, "Failed to download client from: ")))
    path = AccountServer::kClientSizePath;
  else if (record.operation == "SetupHandler::Download" &&
           (StartsWith(m, "Download is completed") || StartsWith(m, "Filed to complete download")))
    path = AccountServer::kClientPath;
  else
    return;
  for (Request& request : requests_)
    if (request.path == path) End(request, "");
}

}  // namespace kslog
