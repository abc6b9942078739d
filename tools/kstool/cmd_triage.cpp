// kstool triage: every error report in a folder, grouped by what went wrong,
// the most frequent first.
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "command.h"
#include "platform.h"
#include "support/report_reader.h"
#include "support/triage.h"
#include "support_files.h"
#include "support_symbols.h"

namespace {

const char kUsage[] = "triage [--json] [--html FILE] [--symbols DIR] <folder>";
const char kSummary[] =
    "Reads every error report in a folder and below it (crash and failure\n"
    "reports, as kstool serve --keep-reports keeps them) and prints one line per\n"
    "signature, the most frequent first: how many reports and their share, when\n"
    "first and last seen (from the names kstool serve gives them, else from the\n"
    "last record of the log they carry), the starter versions, the signature and\n"
    "the last seen report as an example.\n"
    "A failure's signature is its outcome and cause as kstool explain names them\n"
    "(\"failed: server-unreachable\"); a crash's is its exception and the first\n"
    "three frames of its stack in the starter (\"starter\": the program that sent\n"
    "it) that the walk is sure of, named by function with --symbols; without the\n"
    "builds, where it happened, as module+offset.\n"
    "\n"
    "  --json         one JSON object a line: each signature, then each report\n"
    "                 that does not read\n"
    "  --html FILE    also write a page with the table, a bar chart per signature\n"
    "                 and per day, and the reports that do not read (no script\n"
    "                 and nothing from elsewhere)\n"
    "  --symbols DIR  the builds of the starter kept beside each shipped one, as\n"
    "                 for kstool explain: crash stacks are walked by their unwind\n"
    "                 tables and frames named by function\n"
    "\n"
    "A report that does not read is counted and named, and the rest goes on;\n"
    "only a folder that cannot be listed ends it (exit code 2).";

struct Read {
  bool ok = false;
  TriageEntry entry;
  std::string why;
};

// Each file read and taken apart on its own; two or more at once.
std::vector<Read> ReadAll(const std::string& folder, const std::vector<std::string>& files, const BuildsOf& builds_of) {
  std::vector<Read> reads(files.size());
  std::atomic<size_t> next(0);
  auto work = [&] {
    std::string content;
    for (size_t i = next++; i < files.size(); i = next++) {
      Read& read = reads[i];
      if (kstool::ReadBoundedInput(kstool::FileBelow(folder, files[i]), kLargestReport, content, read.why))
        read.ok = TriageReport(files[i], content, builds_of, read.entry, read.why);
    }
  };
  unsigned count = std::thread::hardware_concurrency();
  count = count < 2 ? 2 : count > 8 ? 8 : count;
  std::vector<std::thread> threads;
  for (unsigned i = 1; i < count; ++i) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();
  return reads;
}

int RunTriage(const std::vector<std::string>& args) {
  bool json = false;
  std::string html, symbols, folder;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--json") {
      json = true;
    } else if (args[i] == "--html") {
      if (i + 1 >= args.size()) return kstool::Fail("triage: --html needs a file");
      html = args[++i];
    } else if (args[i] == "--symbols") {
      if (i + 1 >= args.size()) return kstool::Fail("triage: --symbols needs a folder");
      symbols = args[++i];
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      return kstool::Fail("triage: unknown option %s", args[i].c_str());
    } else if (folder.empty()) {
      folder = args[i];
    } else {
      return kstool::Fail("triage: one folder at a time (usage: kstool %s)", kUsage);
    }
  }
  if (folder.empty()) return kstool::Fail("triage: no folder given (usage: kstool %s)", kUsage);
  if (!kstool::IsDirectory(folder)) return kstool::Fail("triage: '%s' is not a folder", folder.c_str());
  std::vector<std::string> files;
  std::string error;
  if (!kstool::ListFiles(folder, files, error)) return kstool::Fail("triage: %s", error.c_str());

  kstool::GivenBuilds builds;
  BuildsOf builds_of;
  if (!symbols.empty()) {
    if (!builds.Index(symbols, error)) return kstool::Fail("triage: --symbols: %s", error.c_str());
    builds_of = [&builds](const std::vector<MinidumpModule>& modules) { return builds.For(modules); };
  }

  std::vector<TriageEntry> entries;
  std::vector<TriageUnreadable> unreadable;
  std::vector<Read> reads = ReadAll(folder, files, builds_of);
  for (size_t i = 0; i < reads.size(); ++i) {
    if (reads[i].ok)
      entries.push_back(std::move(reads[i].entry));
    else
      unreadable.push_back({files[i], reads[i].why});
  }
  Triage triage = Summarize(entries, unreadable);

  if (!html.empty() && !kstool::WriteOutput(html, TriagePage(triage, "kstool triage: " + folder), error))
    return kstool::Fail("triage: %s", error.c_str());
  std::string out = json ? TriageJson(triage) : TriageText(triage);
  fwrite(out.data(), 1, out.size(), stdout);
  return fflush(stdout) == 0 ? 0 : kstool::Fail("triage: cannot write to standard output");
}

}  // namespace

KSTOOL_COMMAND("triage", kUsage, kSummary, RunTriage);
