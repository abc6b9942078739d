// kstool serve: a small account server (and, with --proxy, a forward proxy)
// for tests, benchmarks and demos. Runs until killed.
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/file_data.h"
#include "base/handles_win.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "command.h"
#include "net/account_server_api.h"
#include "platform.h"
#include "support/report_reader.h"
#include "support_net_proxy.h"
#include "support_files.h"
#include "support_net_server.h"

namespace {

using kstool::net::Request;

const char kUsage[] = "serve [--port N] [--ready-file PATH] [--package FILE] [options]";
const char kSummary[] =
    "Serves the account server's requests over HTTP/1.0 and 1.1 (or, with --proxy,\n"
    "acts as a forward proxy) until killed. Every connection gets one reply and is\n"
    "closed (Connection: close).\n"
    "\n"
    "  --port N                port to listen on; 0 picks a free one (default 8889)\n"
    "  --bind ADDRESS          address to listen on (default 127.0.0.1)\n"
    "  --ready-file PATH       once listening, write the port number to PATH\n"
    "  --request-log PATH      append the request line and headers of every request\n"
    "  --sent-log PATH         append a line per reply: the body bytes sent, its path\n"
    "                          and its status (\"<bytes> <path> <status>\")\n"
    "  --exit-after-seconds N  stop by itself after N seconds\n"
    "  --keep-reports DIR      keep the body of every POST of at most 8 MiB (the\n"
    "                          starter's error report after a crash or a failure)\n"
    "                          as a file of its own in DIR,\n"
    "                          report-<date>-<time>-<n>.txt, for kstool explain\n"
    "\n"
    "Account server (/as/wapi/..., any query parameters such as rdm accepted):\n"
    "  --package FILE          streamed for get_client; its size answers get_client_size\n"
    "  --client-size N         announce N bytes instead of the package's size\n"
    "  --size-form FORM        get_client_size reply: tag (<__ClientSize__>N</__ClientSize__>,\n"
    "                          the default), bare (just the digits) or letters\n"
    "  --size-text TEXT        the size value exactly as TEXT (e.g. -5 or a number too\n"
    "                          large for any count), in the tag or bare form\n"
    "  --user-input TEXT       <__UserInput__> value of the ssi reply (default OK)\n"
    "  --file URLPATH=FILE     also serve FILE at URLPATH (e.g. /proxy.pac)\n"
    "  --etag TEXT             send the package with ETag: \"TEXT\"\n"
    "  --last-modified TEXT    send the package with Last-Modified: TEXT\n"
    "                          With either, a package request with Range: bytes=N-\n"
    "                          gets 206 and the rest, unless its If-Range names\n"
    "                          another validator (then 200 and the whole)\n"
    "  --no-ranges             answer every package request whole (200)\n"
    "  --cut-at BYTE           end a package reply once package byte BYTE is reached\n"
    "                          (counted from the package's start, whatever the range)\n"
    "  --cut-replies N         ... but only the first N package replies\n"
    "\n"
    "Misbehaviour (for every request, or only those picked by --fault-path/-agent):\n"
    "  --fault-path PREFIX     limit the faults below to paths starting with PREFIX;\n"
    "                          a PREFIX ending in $ asks for exactly that path\n"
    "  --fault-agent TEXT      ... and to requests whose User-Agent contains TEXT\n"
    "  --refuse-agent TEXT     answer every request whose User-Agent contains TEXT,\n"
    "                          whatever its path, with a 70 KiB header and no body,\n"
    "                          which the starter refuses (e.g. \"Internet Explorer\":\n"
    "                          only the starter's socket fetch gets a usable reply)\n"
    "  --status N              answer status N (e.g. 404) with a short page\n"
    "  --delay-ms N            wait N ms before answering\n"
    "  --no-content-length     send no Content-Length header\n"
    "  --content-length N      announce N in the Content-Length header, whatever is sent\n"
    "  --header-bytes N        pad the reply header to N bytes with X-Padding lines\n"
    "  --extra-bytes N         send N bytes more than the announced length\n"
    "  --endless               after the body, send filler bytes until the peer goes\n"
    "                          away (no Content-Length unless --content-length)\n"
    "  --cut-after N           send only the first N body bytes, then close\n"
    "  --stall-after N         send the header and the first N body bytes, then hold\n"
    "                          the connection silent until the server ends\n"
    "  --close-at-once         close the connection without answering\n"
    "  --piece-bytes N         send the reply in pieces of N bytes ...\n"
    "  --piece-delay-ms N      ... with N ms between pieces (default 20)\n"
    "\n"
    "Forward proxy:\n"
    "  --proxy                 relay absolute-URI requests instead of serving pages\n"
    "  --map NAME=HOST:PORT    relay requests for host NAME to HOST:PORT (repeatable);\n"
    "                          only mapped names and loopback addresses are reached\n"
    "  --proxy-auth USER:PASS  require Basic Proxy-Authorization, else answer 407";

struct Options {
  int port = AccountServer::kDefaultPort;
  std::string bind = "127.0.0.1";
  std::string ready_file;
  std::string request_log;
  std::string sent_log;
  int exit_after_seconds = 0;
  std::string keep_reports;

  std::string package;
  long long client_size = -1;
  std::string size_form = "tag";
  std::string size_text;  // raw size value; replaces the digits when set
  bool has_size_text = false;
  std::string user_input = "OK";
  std::map<std::string, std::string> files;
  std::string etag;
  std::string last_modified;
  bool no_ranges = false;
  long long cut_at = -1;
  long long cut_replies = -1;  // -1: every package reply

  std::string fault_path;
  std::string fault_agent;
  std::string refuse_agent;
  int status = 0;
  int delay_ms = 0;
  bool no_content_length = false;
  long long content_length = -1;
  long long header_bytes = 0;
  long long extra_bytes = 0;
  bool endless = false;
  long long cut_after = -1;
  long long stall_after = -1;
  bool close_at_once = false;
  int piece_bytes = 0;
  int piece_delay_ms = 20;

  bool proxy = false;
  kstool::net::ProxyConfig proxy_config;
};

kstool::net::RequestLog g_request_log;
kstool::net::RequestLog g_sent_log;

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) {
        *error = name + " needs a value";
        return false;
      }
      *out = args[++i];
      return true;
    };
    auto number = [&](long long* out) {
      std::string text;
      if (!value(&text)) return false;
      char* end = nullptr;
      *out = strtoll(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || *out < 0) {
        *error = name + " needs a number, not '" + text + "'";
        return false;
      }
      return true;
    };
    long long n = 0;
    std::string text;
    if (name == "--port") {
      if (!number(&n) || n > 65535) return *error = error->empty() ? "bad port" : *error, false;
      options->port = static_cast<int>(n);
    } else if (name == "--bind") {
      if (!value(&options->bind)) return false;
    } else if (name == "--ready-file") {
      if (!value(&options->ready_file)) return false;
    } else if (name == "--request-log") {
      if (!value(&options->request_log)) return false;
    } else if (name == "--sent-log") {
      if (!value(&options->sent_log)) return false;
    } else if (name == "--exit-after-seconds") {
      if (!number(&n)) return false;
      options->exit_after_seconds = static_cast<int>(n);
    } else if (name == "--keep-reports") {
      if (!value(&options->keep_reports)) return false;
    } else if (name == "--package") {
      if (!value(&options->package)) return false;
    } else if (name == "--client-size") {
      if (!number(&options->client_size)) return false;
    } else if (name == "--size-form") {
      if (!value(&options->size_form)) return false;
      if (options->size_form != "tag" && options->size_form != "bare" && options->size_form != "letters")
        return *error = "--size-form is tag, bare or letters", false;
    } else if (name == "--size-text") {
      if (!value(&options->size_text)) return false;
      options->has_size_text = true;
    } else if (name == "--user-input") {
      if (!value(&options->user_input)) return false;
    } else if (name == "--file") {
      if (!value(&text)) return false;
      size_t eq = text.find('=');
      if (eq == std::string::npos || text[0] != '/') return *error = "--file wants /URLPATH=FILE", false;
      options->files[text.substr(0, eq)] = text.substr(eq + 1);
    } else if (name == "--etag") {
      if (!value(&text)) return false;
      options->etag = "\"" + text + "\"";
    } else if (name == "--last-modified") {
      if (!value(&options->last_modified)) return false;
    } else if (name == "--no-ranges") {
      options->no_ranges = true;
    } else if (name == "--cut-at") {
      if (!number(&options->cut_at)) return false;
    } else if (name == "--cut-replies") {
      if (!number(&options->cut_replies)) return false;
    } else if (name == "--fault-path") {
      if (!value(&options->fault_path)) return false;
    } else if (name == "--fault-agent") {
      if (!value(&options->fault_agent)) return false;
    } else if (name == "--refuse-agent") {
      if (!value(&options->refuse_agent)) return false;
    } else if (name == "--status") {
      if (!number(&n) || n < 100 || n > 999) return *error = error->empty() ? "bad status" : *error, false;
      options->status = static_cast<int>(n);
    } else if (name == "--delay-ms") {
      if (!number(&n)) return false;
      options->delay_ms = static_cast<int>(n);
    } else if (name == "--no-content-length") {
      options->no_content_length = true;
    } else if (name == "--content-length") {
      if (!number(&options->content_length)) return false;
    } else if (name == "--header-bytes") {
      if (!number(&options->header_bytes) || options->header_bytes > (64 << 20))
        return *error = error->empty() ? "--header-bytes is at most 64 MiB" : *error, false;
    } else if (name == "--endless") {
      options->endless = true;
    } else if (name == "--stall-after") {
      if (!number(&options->stall_after)) return false;
    } else if (name == "--extra-bytes") {
      if (!number(&options->extra_bytes)) return false;
    } else if (name == "--cut-after") {
      if (!number(&options->cut_after)) return false;
    } else if (name == "--close-at-once") {
      options->close_at_once = true;
    } else if (name == "--piece-bytes") {
      if (!number(&n) || n == 0) return *error = error->empty() ? "bad piece size" : *error, false;
      options->piece_bytes = static_cast<int>(n);
    } else if (name == "--piece-delay-ms") {
      if (!number(&n)) return false;
      options->piece_delay_ms = static_cast<int>(n);
    } else if (name == "--proxy") {
      options->proxy = true;
    } else if (name == "--map") {
      if (!value(&text)) return false;
      size_t eq = text.find('=');
      if (eq == std::string::npos) return *error = "--map wants NAME=HOST:PORT", false;
      std::string key = text.substr(0, eq);
      ks::LowerAscii(&key[0]);
      options->proxy_config.map[key] = text.substr(eq + 1);
    } else if (name == "--proxy-auth") {
      if (!value(&options->proxy_config.credentials)) return false;
    } else {
      *error = "unknown option " + name;
      return false;
    }
  }
  return true;
}

// What one reply consists of: a status, headers and a body that is either a
// text or a file streamed from disk.
struct Reply {
  int status = 200;
  std::string content_type = "text/plain";
  std::string headers;  // further header lines, each ended by CR LF
  std::string text;
  std::string file;     // streamed when set
  long long offset = 0;  // of the file's first byte sent
  long long length = 0;
  bool package = false;
};

const char* StatusText(int status) {
  switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 416: return "Range Not Satisfiable";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 407: return "Proxy Authentication Required";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    default: return "Status";
  }
}


Reply TextReply(int status, const std::string& text) {
  Reply reply;
  reply.status = status;
  reply.text = text;
  reply.length = static_cast<long long>(text.size());
  return reply;
}

Reply RouteAccountServer(const Options& options, const std::string& path) {
  auto file = options.files.find(path);
  if (file != options.files.end()) {
    long long size = Utility::FileSize(file->second.c_str());
    if (size < 0) return TextReply(404, "no such file\n");
    Reply reply;
    reply.file = file->second;
    reply.length = size;
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".pac") == 0)
      reply.content_type = "application/x-ns-proxy-autoconfig";
    return reply;
  }
  if (path == AccountServer::kClientSizePath) {
    long long size = options.client_size >= 0 ? options.client_size
                     : options.package.empty() ? 0
                                               : Utility::FileSize(options.package.c_str());
    if (options.size_form == "letters") return TextReply(200, "unknown");
    std::string digits = options.has_size_text ? options.size_text : ks::Format("%lld", size < 0 ? 0 : size);
    if (options.size_form == "bare") return TextReply(200, digits);
    return TextReply(200, std::string(AccountServer::kClientSizeOpeningTag) + digits +
                              AccountServer::kClientSizeClosingTag);
  }
  if (path == AccountServer::kClientPath) {
    long long size = options.package.empty() ? -1 : Utility::FileSize(options.package.c_str());
    if (size < 0) return TextReply(404, "no package\n");
    Reply reply;
    reply.content_type = "application/octet-stream";
    reply.file = options.package;
    reply.length = size;
    reply.package = true;
    if (!options.etag.empty()) reply.headers += "ETag: " + options.etag + "\r\n";
    if (!options.last_modified.empty()) reply.headers += "Last-Modified: " + options.last_modified + "\r\n";
    return reply;
  }
  if (path == AccountServer::kInstallationReportPath)
    return TextReply(200, std::string(AccountServer::kUserInputOpeningTag) + options.user_input +
                              AccountServer::kUserInputClosingTag);
  return TextReply(404, "not found\n");
}

// "bytes=N-" or "bytes=N-M": the first byte asked for; -1 when the text is
// no range this server serves.
long long FirstByteAsked(const std::string& range) {
  const char kUnit[] = "bytes=";
  if (range.compare(0, sizeof kUnit - 1, kUnit) != 0) return -1;
  char* end = nullptr;
  const char* start = range.c_str() + sizeof kUnit - 1;
  long long first = strtoll(start, &end, 10);
  if (end == start || *end != '-' || first < 0) return -1;
  return first;
}

// A package request with Range gets the rest (206) when the package has a
// validator and If-Range, if sent, names it; with another validator the
// whole (200), as HTTP has it.
Reply ApplyRange(const Options& options, const Request& request, Reply reply) {
  std::string range = request.Header("Range");
  if (!reply.package || reply.status != 200 || range.empty() || options.no_ranges ||
      (options.etag.empty() && options.last_modified.empty()))
    return reply;
  std::string if_range = request.Header("If-Range");
  if (!if_range.empty() && if_range != options.etag && if_range != options.last_modified) return reply;
  long long first = FirstByteAsked(range);
  if (first < 0 || first >= reply.length) {
    Reply refused = TextReply(416, "range not satisfiable\n");
    refused.headers = ks::Format("Content-Range: bytes */%lld\r\n", reply.length);
    return refused;
  }
  reply.status = 206;
  reply.headers += ks::Format("Content-Range: bytes %lld-%lld/%lld\r\n", first, reply.length - 1, reply.length);
  reply.offset = first;
  reply.length -= first;
  return reply;
}

// Whether this package reply is one --cut-at ends (the first --cut-replies).
bool CutsThisReply(const Options& options, const Reply& reply) {
  static std::atomic<long long> cut(0);
  if (!reply.package || options.cut_at < 0 || options.cut_at <= reply.offset) return false;
  return options.cut_replies < 0 || cut.fetch_add(1) < options.cut_replies;
}

// Sends body bytes, in pieces when asked; false when the peer went away.
bool SendBody(SOCKET client, const char* data, size_t length, const Options& options, bool faults) {
  if (!faults || options.piece_bytes <= 0) return kstool::net::SendAll(client, data, length);
  while (length > 0) {
    size_t piece = length < static_cast<size_t>(options.piece_bytes) ? length : static_cast<size_t>(options.piece_bytes);
    if (!kstool::net::SendAll(client, data, piece)) return false;
    data += piece;
    length -= piece;
    if (length > 0) Sleep(static_cast<DWORD>(options.piece_delay_ms));
  }
  return true;
}

// Header lines of at most about 1 KiB that together take exactly `bytes`
// bytes (as many or large cookies would); a remainder too small for a line
// of its own lengthens the last one.
std::string PaddingLines(long long bytes) {
  std::string lines;
  for (int n = 1; bytes > 0; ++n) {
    std::string name = ks::Format("X-Padding-%d: ", n);
    long long overhead = static_cast<long long>(name.size()) + 2;
    long long value = bytes - overhead;
    if (value < 0) {
      if (lines.size() >= 2) lines.insert(lines.size() - 2, static_cast<size_t>(bytes), 'p');
      break;
    }
    if (value > 1000) value = 1000;
    lines += name + std::string(static_cast<size_t>(value), 'p') + "\r\n";
    bytes -= overhead + value;
  }
  return lines;
}

// Filler after the body until the peer goes away (or the server ends).
void SendEndlessly(SOCKET client, const Options& options) {
  std::string filler(64 * 1024, 'X');
  while (SendBody(client, filler.data(), filler.size(), options, true)) {
  }
}

// Keeps the connection open and silent; the server's end closes it.
void HoldSilently() {
  for (;;) Sleep(60000);
}

void SendReply(SOCKET client, const Options& options, Reply reply, bool faults, const std::string& path) {
  if (faults && options.status != 0) reply = TextReply(options.status, ks::Format("status %d\n", options.status));
  bool endless = faults && options.endless;
  std::string head = ks::Format("HTTP/1.1 %d %s\r\nContent-Type: %s\r\n", reply.status, StatusText(reply.status),
                                reply.content_type.c_str());
  if (faults && options.content_length >= 0)
    head += ks::Format("Content-Length: %lld\r\n", options.content_length);
  else if (!(faults && (options.no_content_length || endless)))
    head += ks::Format("Content-Length: %lld\r\n", reply.length);
  head += reply.headers;
  head += "Cache-Control: no-store\r\nConnection: close\r\n";
  if (faults && options.header_bytes > static_cast<long long>(head.size()) + 2)
    head += PaddingLines(options.header_bytes - static_cast<long long>(head.size()) - 2);
  head += "\r\n";

  long long body_limit = reply.length;
  if (faults && options.cut_after >= 0 && options.cut_after < body_limit) body_limit = options.cut_after;
  if (CutsThisReply(options, reply) && options.cut_at - reply.offset < body_limit)
    body_limit = options.cut_at - reply.offset;
  bool stall = faults && options.stall_after >= 0;
  if (stall && options.stall_after < body_limit) body_limit = options.stall_after;

  // What went out of the body, for whoever counts the bytes a download cost.
  struct SentCount {
    const std::string& path;
    int status;
    long long sent = 0;
    ~SentCount() { g_sent_log.Append(ks::Format("%lld %s %d\n", sent, path.c_str(), status)); }
  } sent_count{path, reply.status};
  if (!reply.file.empty()) {
    ks::UniqueFile file(_wfopen(Widen(reply.file.c_str()).c_str(), L"rb"));
    if (!file || _fseeki64(file.get(), reply.offset, SEEK_SET) != 0) return;
    if (!SendBody(client, head.data(), head.size(), options, faults)) return;
    std::vector<char> buffer(1 << 20);
    long long left = body_limit;
    while (left > 0) {
      size_t want = left < static_cast<long long>(buffer.size()) ? static_cast<size_t>(left) : buffer.size();
      size_t got = fread(buffer.data(), 1, want, file.get());
      if (got == 0 || !SendBody(client, buffer.data(), got, options, faults)) return;
      left -= static_cast<long long>(got);
      sent_count.sent += static_cast<long long>(got);
    }
  } else {
    std::string all = head + reply.text.substr(0, static_cast<size_t>(body_limit));
    if (!SendBody(client, all.data(), all.size(), options, faults)) return;
    sent_count.sent = body_limit;
  }
  if (stall) HoldSilently();
  if (body_limit != reply.length) return;
  if (faults && options.extra_bytes > 0) {
    std::string extra(static_cast<size_t>(options.extra_bytes), 'X');
    if (!SendBody(client, extra.data(), extra.size(), options, faults)) return;
  }
  if (endless) SendEndlessly(client, options);
}

// --fault-path: a prefix, or with a trailing "$" the whole path.
bool FaultPathMatches(const std::string& pattern, const std::string& path) {
  if (pattern.empty()) return true;
  if (pattern.back() == '$') return path == pattern.substr(0, pattern.size() - 1);
  return path.compare(0, pattern.size(), pattern) == 0;
}

// Keeps a POST body as a new file in the folder, written whole or not at all.
// False when the body did not arrive whole or cannot be kept. Anyone can
// post: a body larger than the support desk reads is no report and is not
// kept, so what is kept is bounded by what can be explained.
bool KeepReport(SOCKET client, const Request& request, const std::string& folder) {
  static std::atomic<unsigned> count(0);
  std::string body;
  if (!kstool::net::ReadBody(client, request, kLargestReport, 30000, &body)) return false;
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::string path = ks::Format("%s\\report-%04d%02d%02d-%02d%02d%02d-%u.txt", folder.c_str(), now.wYear, now.wMonth,
                                now.wDay, now.wHour, now.wMinute, now.wSecond, ++count);
  std::string error;
  if (!kstool::WriteOutput(path, body, error)) {
    fprintf(stderr, "kstool serve: %s\n", error.c_str());
    return false;
  }
  printf("kstool serve: kept a report of %llu bytes as %s\n", static_cast<unsigned long long>(body.size()),
         path.c_str());
  fflush(stdout);
  return true;
}

void ServeConnection(SOCKET client, const Options* options) {
  Request request;
  if (!kstool::net::ReadRequest(client, &request)) {
    kstool::net::CloseGracefully(client);
    return;
  }
  g_request_log.Append(request.head);

  std::string path = request.target;
  size_t query = path.find('?');
  if (query != std::string::npos) path.resize(query);
  bool faults = FaultPathMatches(options->fault_path, path) &&
                (options->fault_agent.empty() || request.Header("User-Agent").find(options->fault_agent) != std::string::npos);

  bool refused = !options->refuse_agent.empty() &&
                 request.Header("User-Agent").find(options->refuse_agent) != std::string::npos;

  if (refused) {
    // Neither a close nor a reset: WinInet may take either for an empty reply.
    std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n" +
                       PaddingLines(70 * 1024) + "\r\n";
    kstool::net::SendAll(client, head.data(), head.size());
    kstool::net::CloseGracefully(client);
    return;
  }
  if (faults && options->delay_ms > 0) Sleep(static_cast<DWORD>(options->delay_ms));
  if (faults && options->close_at_once) {
    closesocket(client);
    return;
  }
  if (options->proxy) {
    kstool::net::HandleProxyRequest(client, request, options->proxy_config);
  } else if (request.method == "POST" && !options->keep_reports.empty()) {
    bool kept = KeepReport(client, request, options->keep_reports);
    SendReply(client, *options, TextReply(kept ? 200 : 400, kept ? "OK" : "not kept\n"), false, path);
  } else if (request.method != "GET" && request.method != "POST") {
    SendReply(client, *options, TextReply(400, "GET only\n"), false, path);
  } else {
    SendReply(client, *options, ApplyRange(*options, request, RouteAccountServer(*options, path)), faults, path);
  }
  kstool::net::CloseGracefully(client);
}

int RunServe(const std::vector<std::string>& args) {
  static Options options;  // outlives the detached connection threads
  std::string error;
  if (!ParseOptions(args, &options, &error)) return kstool::Fail("serve: %s", error.c_str());
  if (!options.keep_reports.empty() && !kstool::IsDirectory(options.keep_reports))
    return kstool::Fail("serve: --keep-reports: '%s' is not a folder", options.keep_reports.c_str());
  if (!options.package.empty() && Utility::FileSize(options.package.c_str()) < 0)
    return kstool::Fail("serve: cannot read package %s", options.package.c_str());

  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return kstool::Fail("serve: WSAStartup failed");
  int port = 0;
  SOCKET listener = kstool::net::Listen(options.bind.c_str(), options.port, &port);
  if (listener == INVALID_SOCKET)
    return kstool::Fail("serve: cannot listen on %s:%d (error %d)", options.bind.c_str(), options.port,
                        WSAGetLastError());
  g_request_log.Open(options.request_log);
  g_sent_log.Open(options.sent_log);
  // Whole or not at all (see OutputFile): a test waiting for it never reads half a port.
  std::string ready_error;
  if (!options.ready_file.empty() && !kstool::WriteOutput(options.ready_file, ks::Format("%d\n", port), ready_error))
    return kstool::Fail("serve: cannot write %s", options.ready_file.c_str());
  printf("kstool serve: listening on %s:%d%s\n", options.bind.c_str(), port, options.proxy ? " (proxy)" : "");
  fflush(stdout);

  if (options.exit_after_seconds > 0) {
    std::thread([] {
      Sleep(static_cast<DWORD>(options.exit_after_seconds) * 1000);
      ExitProcess(0);
    }).detach();
  }
  for (;;) {
    SOCKET client = kstool::net::Accept(listener);
    int window = 4 * 1024 * 1024;
    setsockopt(client, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&window), sizeof window);
    if (options.piece_bytes > 0) {
      BOOL no_delay = TRUE;
      setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay), sizeof no_delay);
    }
    std::thread(ServeConnection, client, &options).detach();
  }
}

}  // namespace

KSTOOL_COMMAND("serve", kUsage, kSummary, RunServe);
