#pragma once
// Thousands of error reports as a short list: the reports of a folder (as
// kstool serve --keep-reports keeps them) grouped by signature, the most
// frequent first, with how many, which starter versions, when first and last
// seen, and one example. A report that does not read is counted and named,
// never the end of the list.
#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/report_signature.h"

// One report that reads, as triage takes it.
struct TriageEntry {
  std::string file;
  std::string signature;
  bool crash = false;
  std::string version;  // "(none)" when the report has none
  std::string seen;     // "2024-05-01 09:03:07", or "" when nothing tells
};

struct TriageUnreadable {
  std::string file;
  std::string why;
};

struct TriageGroup {
  std::string signature;
  bool crash = false;
  size_t count = 0;
  std::vector<std::pair<std::string, size_t>> versions;  // the most frequent first
  std::string first_seen, last_seen;                     // "" when no report tells
  std::string example;                                   // the last seen
  std::map<std::string, size_t> days;                    // "2024-05-01" -> reports
};

struct Triage {
  std::vector<TriageGroup> groups;  // the most frequent first
  std::vector<TriageUnreadable> unreadable;
  size_t reports = 0;  // that read
};

// Reads one report (its bytes, and the name it is shown by); false with why
// it does not read. The time it was seen is in the name kstool serve gives
// it (report-<date>-<time>-<n>.txt), or else the last record of its log. A
// crash's stack is walked with the builds `builds_of` gives (none when it
// is empty).
bool TriageReport(const std::string& file, const std::string& content, const BuildsOf& builds_of, TriageEntry& entry,
                  std::string& why);

Triage Summarize(const std::vector<TriageEntry>& entries, const std::vector<TriageUnreadable>& unreadable);

// The list as text, one line per signature under a head line, then the
// reports that do not read.
std::string TriageText(const Triage& triage);

// One JSON object a line: each signature, then each report that does not read.
std::string TriageJson(const Triage& triage);

// A page of its own (no script, no font or picture from elsewhere): the
// table, a bar chart of the signatures and one of the reports per day.
std::string TriagePage(const Triage& triage, const std::string& title);
