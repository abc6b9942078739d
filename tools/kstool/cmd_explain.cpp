// kstool explain: a participant's starter log, or an error report as the
// report server received it, told in a few lines: how each run ended and why,
// the roads it took to the account server, and for a report the crash itself.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "command.h"
#include "platform.h"
#include "support/fact_text.h"
#include "support/log_reader.h"
#include "support/minidump_reader.h"
#include "support/report_reader.h"
#include "support/run_explanation.h"
#include "support/stack_walk.h"
#include "support/symbol_name.h"
#include "support_files.h"
#include "support_symbols.h"

namespace {

using kslog::Fact;
using kslog::JsonObject;
using kslog::OneLine;

const char kUsage[] = "explain [--json] [--extract DIR] [--symbols DIR] <log-or-report|->";
// A dump as large as a report may carry (extracted from one) is the largest
// file read; a starter's log is turned over at about 1 MB.
const size_t kLargestInput = kLargestDumpAttachment;
const char kSummary[] =
    "Explains a starter log (\"KSSetup.txt\" or a backup) or an error report (the\n"
    "report text or the POST body the report server received; told apart by\n"
    "content). For a log, each run in turn, newest last; its first line is one of\n"
    "  outcome: launched-client | started-installer | registered-only\n"
    "  outcome: failed: <cause>   cause: server-unreachable, no-answer (a receive\n"
    "           limit), proxy-refused (401/407), bad-size, incomplete-download,\n"
    "           package-refused, disk, link-unreadable (the link or the parameters\n"
    "           could not be read or do not fit), interrupted (the log ends mid-run)\n"
    "then why, the starter and version wanted, the client found, the account\n"
    "server, each access road tried (D direct, L system settings, P/H/S proxies,\n"
    "the proxy script, the plain WinInet request, the socket fallback), the\n"
    "download, what the window showed last and what was started.\n"
    "For a report: its facts, its log explained, and the crash from its minidump\n"
    "(exception, faulting module and offset, threads, the crashed thread's stack).\n"
    "A minidump alone is read too.\n"
    "\n"
    "  --json         one JSON object per run (for a report, one object in all)\n"
    "  --symbols DIR  the builds of the starter kept beside each shipped one (the\n"
    "                 unstripped program files, in DIR or below): the stack is\n"
    "                 walked by their unwind tables and each frame named from their\n"
    "                 symbols, with file and line where their debugging information\n"
    "                 and addr2line give them; other modules' frames are found by\n"
    "                 frame pointer or stack scan, marked \"(fallback)\"\n"
    "  --extract DIR  write the report's attachments that inflate whole to their\n"
    "                 size fields to DIR as KSSetup.txt, Cache.xml and crash.dmp\n"
    "\n"
    "Input that does not read (a report that is cut or not laid out as one, or\n"
    "larger than 8 MiB, a log that does not begin with a record, a lone dump\n"
    "whose streams lie outside it) is refused with one line on standard error and\n"
    "exit code 2. A report's attachment that does not read (wrong Base64, zlib\n"
    "that does not inflate to its size field, more than its bound: log 2 MiB,\n"
    "cache 2 MiB, dump 24 MiB) or whose content does not read is named beside it,\n"
    "and the rest of the report is explained. Text inside a log message that\n"
    "looks like a record but does not read whole, or is out of the log's time\n"
    "order, stays part of that message and is named in a note.";

// ---- output -------------------------------------------------------------------

void PrintText(const std::vector<Fact>& facts) {
  for (const Fact& fact : facts) printf("%s: %s\n", fact.first.c_str(), OneLine(fact.second).c_str());
}

// ---- what is explained ------------------------------------------------------------

bool ExplainLog(const std::string& text, std::vector<std::vector<Fact>>& runs, std::string& error) {
  kslog::ParsedLog log;
  if (!kslog::ParseLog(text, log, error)) return false;
  for (const kslog::LogRun& run : kslog::SplitRuns(log.records)) runs.push_back(kslog::ExplainRun(log, run));
  return true;
}

std::string Hex(unsigned long long value, int digits) { return ks::Format("0x%0*llX", digits, value); }

void Append(std::vector<Fact>& to, const std::vector<Fact>& more) { to.insert(to.end(), more.begin(), more.end()); }

std::vector<Fact> DumpFacts(const MinidumpSummary& dump) {
  std::vector<Fact> facts;
  if (dump.has_exception) {
    const char* name = ExceptionName(dump.exception_code);
    facts.emplace_back("exception", Hex(dump.exception_code, 8) + (name ? std::string(" ") + name : "") + " at " +
                                        Hex(dump.exception_address, 16) +
                                        ks::Format(" on thread %u", dump.exception_thread));
    const MinidumpModule* module = ModuleHolding(dump, dump.exception_address);
    if (module == nullptr) {
      facts.emplace_back("module", "(no module holds the address)");
    } else {
      std::string text = module->name;
      if (module->has_version)
        text += ks::Format(" %u.%u.%u.%u", module->version[0], module->version[1], module->version[2],
                           module->version[3]);
      facts.emplace_back("module", text + " +" + Hex(dump.exception_address - module->base, 0));
    }
  } else {
    facts.emplace_back("exception", "(the dump has no exception stream)");
  }
  facts.emplace_back("threads", dump.has_threads ? ks::Format("%u", dump.thread_count) : "(no thread list)");
  facts.emplace_back("modules", ks::Format("%u", static_cast<unsigned>(dump.modules.size())));
  if (dump.has_system_info) {
    const char* architecture = ProcessorArchitectureName(dump.processor_architecture);
    facts.emplace_back("system", ks::Format("%s, %u processors, Windows %u.%u build %u",
                                            architecture ? architecture : "unknown processor",
                                            dump.processor_count, dump.os_major, dump.os_minor, dump.os_build));
  }
  return facts;
}

// "#1 ks_crasher.exe +0x3EA93 main+0x13 at main.cpp:79 (unwind table)".
std::string FrameText(size_t number, const kssupport::StackFrame& frame) {
  std::string text = ks::Format("#%u ", static_cast<unsigned>(number));
  if (frame.module.empty()) {
    text += Hex(frame.address, 16);
  } else {
    size_t slash = frame.module.find_last_of("\\/");
    text += (slash == std::string::npos ? frame.module : frame.module.substr(slash + 1)) + " +" + Hex(frame.offset, 0);
  }
  if (!frame.function.empty())
    text += " " + kssupport::ReadableName(frame.function) + "+" + Hex(frame.function_offset, 0);
  if (!frame.source.empty()) text += " at " + frame.source;
  return text + " (" + kssupport::FrameFoundName(frame.found) + ")";
}

// The crashed thread's stack, walked with the builds below `symbols` (none
// when it is empty). A stack that cannot be walked is said so; the rest of
// the dump still tells.
std::vector<Fact> StackFacts(const std::string& dump, const MinidumpSummary& summary, const std::string& symbols,
                             std::string& error) {
  kstool::GivenBuilds builds;
  if (!symbols.empty() && !builds.Index(symbols, error)) return {};
  std::vector<const kssupport::PeImage*> images = builds.For(summary.modules);
  std::vector<kssupport::StackFrame> frames;
  std::string reason;
  if (!kssupport::WalkCrashingStack(reinterpret_cast<const unsigned char*>(dump.data()), dump.size(), images, frames,
                                    reason))
    return {Fact("frame", "(the stack is not walked: " + reason + ")")};
  kstool::AddSourceLines(builds, images, frames);
  std::vector<Fact> facts;
  for (size_t i = 0; i < frames.size(); ++i) facts.emplace_back("frame", FrameText(i, frames[i]));
  return facts;
}

std::string Attached(const ReportAttachment& attachment, const std::string& bytes, const std::string& problem) {
  if (!attachment.present) return "none (no file)";
  if (attachment.compressed_size == 0) return ks::Format("%llu bytes, not attached (too large for its room)",
                                                         static_cast<unsigned long long>(attachment.original_size));
  if (!problem.empty()) return "does not read: " + problem;
  return ks::Format("%llu bytes", static_cast<unsigned long long>(bytes.size()));
}

// Adds to the fact that names an attachment why its content does not read.
void NoteUnread(std::vector<Fact>& facts, const char* key, const std::string& why) {
  for (Fact& fact : facts)
    if (fact.first == key) fact.second += ", " + why;
}

std::vector<Fact> ReportFacts(const ErrorReportContents& report) {
  const ErrorReportFacts& f = report.facts;
  std::vector<Fact> facts;
  facts.emplace_back("report", f.current_file);
  facts.emplace_back("folder", f.current_directory);
  facts.emplace_back("version", f.version.empty() ? "(none)" : f.version);
  facts.emplace_back("computer", f.computer_name + " (" + f.computer_address + ")");
  facts.emplace_back("os", f.os_description);
  facts.emplace_back("browser", "IE " + f.ie_version + ", minor " + f.ie_minor_version + ", build " + f.ie_build);
  facts.emplace_back("last error", ks::Format("%lu: ", f.last_error) + f.last_error_text);
  facts.emplace_back("log", Attached(f.log, report.log, report.log_problem));
  facts.emplace_back("cache", Attached(f.cache, report.cache, report.cache_problem));
  facts.emplace_back("dump", Attached(f.dump, report.dump, report.dump_problem));
  return facts;
}

bool Extract(const std::string& folder, const ErrorReportContents& report, std::string& error) {
  struct Piece {
    const char* name;
    const std::string* bytes;
    bool attached;
  };
  // Only attachments that inflated whole to their size fields.
  const Piece pieces[] = {
      {"KSSetup.txt", &report.log, report.facts.log.compressed_size != 0 && report.log_problem.empty()},
      {"Cache.xml", &report.cache, report.facts.cache.compressed_size != 0 && report.cache_problem.empty()},
      {"crash.dmp", &report.dump, report.facts.dump.compressed_size != 0 && report.dump_problem.empty()},
  };
  if (!kstool::IsDirectory(folder)) {
    error = "extract: '" + folder + "' is not a folder";
    return false;
  }
  // Every file is written beside its place first and moved in only when all are.
  std::vector<std::unique_ptr<kstool::OutputFile>> outputs;
  std::vector<std::string> names;
  for (const Piece& piece : pieces) {
    if (!piece.attached) continue;
    std::string path = folder + "/" + piece.name;
    outputs.push_back(std::make_unique<kstool::OutputFile>(path));
    if (!outputs.back()->Open(error) ||
        fwrite(piece.bytes->data(), 1, piece.bytes->size(), outputs.back()->get()) != piece.bytes->size()) {
      if (error.empty()) error = "cannot write '" + path + "'";
      return false;
    }
    names.push_back(ks::Format("%s (%llu bytes)", piece.name, static_cast<unsigned long long>(piece.bytes->size())));
  }
  for (auto& output : outputs)
    if (!output->Commit(error)) return false;
  for (const std::string& name : names) fprintf(stderr, "kstool: extracted %s\n", name.c_str());
  if (names.empty()) fprintf(stderr, "kstool: no whole attachment to extract\n");
  return true;
}

int RunExplain(const std::vector<std::string>& args) {
  bool json = false;
  std::string extract;
  std::string symbols;
  std::string input;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--json") {
      json = true;
    } else if (args[i] == "--extract") {
      if (i + 1 >= args.size()) return kstool::Fail("explain: --extract needs a folder");
      extract = args[++i];
    } else if (args[i] == "--symbols") {
      if (i + 1 >= args.size()) return kstool::Fail("explain: --symbols needs a folder");
      symbols = args[++i];
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      return kstool::Fail("explain: unknown option %s", args[i].c_str());
    } else if (input.empty()) {
      input = args[i];
    } else {
      return kstool::Fail("explain: one file at a time (usage: kstool %s)", kUsage);
    }
  }
  if (input.empty()) return kstool::Fail("explain: no file given (usage: kstool %s)", kUsage);

  std::string content, error, symbols_error;
  if (!kstool::ReadBoundedInput(input, kLargestInput, content, error)) return kstool::Fail("explain: %s", error.c_str());

  std::vector<Fact> head;   // a report's facts
  std::vector<std::vector<Fact>> runs;
  std::vector<Fact> tail;   // a dump's facts
  bool report = LooksLikeErrorReport(content);
  if (!extract.empty() && !report) return kstool::Fail("explain: --extract needs an error report");
  if (report) {
    ErrorReportContents contents;
    if (!ReadErrorReport(content, contents, error)) return kstool::Fail("explain: %s: %s", input.c_str(), error.c_str());
    std::string().swap(content);  // only what it carries is read from here on
    // What does not read is said beside its attachment; the rest is explained.
    head = ReportFacts(contents);
    MinidumpSummary dump;
    if (!contents.dump.empty()) {
      if (ReadMinidump(reinterpret_cast<const unsigned char*>(contents.dump.data()), contents.dump.size(), dump, error)) {
        tail = DumpFacts(dump);
        Append(tail, StackFacts(contents.dump, dump, symbols, symbols_error));
      } else {
        NoteUnread(head, "dump", "does not read as a minidump: " + error);
      }
    }
    if (!contents.log.empty() && !ExplainLog(contents.log, runs, error))
      NoteUnread(head, "log", "does not read as a starter log: " + error);
    if (!extract.empty() && !Extract(extract, contents, error)) return kstool::Fail("explain: %s", error.c_str());
  } else if (content.compare(0, 4, "MDMP") == 0) {
    MinidumpSummary dump;
    if (!ReadMinidump(reinterpret_cast<const unsigned char*>(content.data()), content.size(), dump, error))
      return kstool::Fail("explain: %s: %s", input.c_str(), error.c_str());
    tail = DumpFacts(dump);
    Append(tail, StackFacts(content, dump, symbols, symbols_error));
  } else if (!ExplainLog(content, runs, error)) {
    return kstool::Fail("explain: %s: %s", input.c_str(), error.c_str());
  }
  if (!symbols_error.empty()) return kstool::Fail("explain: --symbols: %s", symbols_error.c_str());

  if (json && head.empty()) {
    // A log's runs, or a minidump alone.
    for (const std::vector<Fact>& run : runs) printf("%s\n", JsonObject(run).c_str());
    if (!tail.empty()) printf("%s\n", JsonObject(tail).c_str());
  } else if (json) {
    std::string out = "{\"report\": " + JsonObject(head) + ", \"runs\": [";
    for (size_t i = 0; i < runs.size(); ++i) out += (i > 0 ? ", " : "") + JsonObject(runs[i]);
    out += "], \"dump\": " + (tail.empty() ? std::string("null") : JsonObject(tail)) + "}";
    printf("%s\n", out.c_str());
  } else {
    bool first = true;
    auto block = [&](const std::vector<Fact>& facts) {
      if (facts.empty()) return;
      if (!first) printf("\n");
      first = false;
      PrintText(facts);
    };
    block(head);
    for (const std::vector<Fact>& run : runs) block(run);
    block(tail);
  }
  return fflush(stdout) == 0 ? 0 : kstool::Fail("explain: cannot write to standard output");
}

}  // namespace

KSTOOL_COMMAND("explain", kUsage, kSummary, RunExplain);
