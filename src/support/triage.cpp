#include "support/triage.h"

#include <algorithm>

#include "app/settings_reader.h"
#include "base/text.h"
#include "support/fact_text.h"
#include "support/log_reader.h"
#include "support/report_reader.h"

namespace {

bool AllDigits(const std::string& text, size_t at, size_t count) {
  if (at + count > text.size()) return false;
  for (size_t i = at; i < at + count; ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

// "report-20240501-090307-1.txt", as kstool serve names what it keeps.
std::string SeenInName(const std::string& file) {
  size_t slash = file.find_last_of("\\/");
  std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
  if (name.compare(0, 7, "report-") != 0 || !AllDigits(name, 7, 8) || name.size() < 23 || name[15] != '-' ||
      !AllDigits(name, 16, 6))
    return std::string();
  std::string seen = name.substr(7, 4) + "-" + name.substr(11, 2) + "-" + name.substr(13, 2) + " " +
                     name.substr(16, 2) + ":" + name.substr(18, 2) + ":" + name.substr(20, 2);
  return kslog::RecordSeconds(seen) >= 0 ? seen : std::string();
}

// The time line of the log's last record, without reading the whole log.
std::string LastRecordTime(const std::string& log) {
  size_t function = log.rfind("\nFunction: ");
  if (function == std::string::npos) return std::string();
  size_t end = function > 0 && log[function - 1] == '\r' ? function - 1 : function;
  size_t start = end == 0 ? std::string::npos : log.rfind('\n', end - 1);
  start = start == std::string::npos ? 0 : start + 1;
  std::string time = log.substr(start, end - start);
  return kslog::RecordSeconds(time) >= 0 ? time : std::string();
}

std::string Trimmed(const std::string& text) {
  size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) return std::string();
  return text.substr(start, text.find_last_not_of(" \t\r\n") - start + 1);
}

// The version a report's starter was stamped with, from its version text
// ("5.2.1 V5.0 SP1 of Bootwick"; without a version the text begins with the
// tail's blank).
std::string StarterVersion(const std::string& text) {
  std::string version = " " + Trimmed(text);
  const std::string tail = kVersionTextTail;
  if (version.size() >= tail.size() && version.compare(version.size() - tail.size(), tail.size(), tail) == 0)
    version.resize(version.size() - tail.size());
  version = Trimmed(version);
  return version.empty() ? "(none)" : version;
}

std::string Share(size_t count, size_t total) {
  return ks::Format("%.1f%%", total == 0 ? 0.0 : 100.0 * static_cast<double>(count) / static_cast<double>(total));
}

std::string Versions(const TriageGroup& group) {
  std::string out;
  for (const auto& version : group.versions)
    out += (out.empty() ? "" : ", ") + version.first + ks::Format(" (%llu)", static_cast<unsigned long long>(version.second));
  return out;
}

std::string Padded(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// "2024-05-01 09:03" of a time, or "-".
std::string Minutes(const std::string& seen) { return seen.empty() ? "-" : seen.substr(0, 16); }

}  // namespace

bool TriageReport(const std::string& file, const std::string& content, const BuildsOf& builds_of, TriageEntry& entry,
                  std::string& why) {
  // Only what the signature needs is inflated: a crash's dump, a failure's
  // log when its error text does not name the cause.
  ErrorReportContents report;
  if (!ReadErrorReportLayout(content, report, why)) return false;
  bool crash = report.facts.dump.present;
  if (crash) InflateAttachment(report, ReportPart::kDump);
  if (!crash && NamedFailure(report.facts).empty()) InflateAttachment(report, ReportPart::kLog);
  ReportSignature signature = SignatureOf(report, builds_of);
  entry.file = file;
  entry.signature = signature.Key();
  entry.crash = signature.crash;
  entry.version = StarterVersion(report.facts.version);
  entry.seen = SeenInName(file);
  if (entry.seen.empty()) {
    if (report.log.empty()) InflateAttachment(report, ReportPart::kLog);
    entry.seen = LastRecordTime(report.log);
  }
  return true;
}

Triage Summarize(const std::vector<TriageEntry>& entries, const std::vector<TriageUnreadable>& unreadable) {
  Triage triage;
  triage.unreadable = unreadable;
  triage.reports = entries.size();
  std::map<std::string, size_t> index;
  std::vector<std::map<std::string, size_t>> versions;
  for (const TriageEntry& entry : entries) {
    auto found = index.emplace(entry.signature, triage.groups.size());
    if (found.second) {
      triage.groups.emplace_back();
      versions.emplace_back();
      triage.groups.back().signature = entry.signature;
      triage.groups.back().crash = entry.crash;
    }
    TriageGroup& group = triage.groups[found.first->second];
    ++group.count;
    ++versions[found.first->second][entry.version];
    if (!entry.seen.empty()) {
      if (group.first_seen.empty() || entry.seen < group.first_seen) group.first_seen = entry.seen;
      if (group.last_seen.empty() || entry.seen >= group.last_seen) {
        group.last_seen = entry.seen;
        group.example = entry.file;
      }
      ++group.days[entry.seen.substr(0, 10)];
    }
    if (group.example.empty() || (group.last_seen.empty() && entry.file > group.example)) group.example = entry.file;
  }
  for (size_t i = 0; i < triage.groups.size(); ++i) {
    triage.groups[i].versions.assign(versions[i].begin(), versions[i].end());
    std::stable_sort(triage.groups[i].versions.begin(), triage.groups[i].versions.end(),
                     [](const std::pair<std::string, size_t>& a, const std::pair<std::string, size_t>& b) {
                       return a.second > b.second;
                     });
  }
  std::sort(triage.groups.begin(), triage.groups.end(), [](const TriageGroup& a, const TriageGroup& b) {
    return a.count != b.count ? a.count > b.count : a.signature < b.signature;
  });
  std::sort(triage.unreadable.begin(), triage.unreadable.end(),
            [](const TriageUnreadable& a, const TriageUnreadable& b) { return a.file < b.file; });
  return triage;
}

std::string TriageText(const Triage& triage) {
  std::string out = ks::Format("%llu reports read, %llu signatures, %llu unreadable\n",
                               static_cast<unsigned long long>(triage.reports),
                               static_cast<unsigned long long>(triage.groups.size()),
                               static_cast<unsigned long long>(triage.unreadable.size()));
  size_t versions_width = 8, signature_width = 9;
  for (const TriageGroup& group : triage.groups) {
    versions_width = std::max(versions_width, Versions(group).size());
    signature_width = std::max(signature_width, group.signature.size());
  }
  if (!triage.groups.empty())
    out += "  count   share  first seen        last seen         " + Padded("versions", versions_width) + "  " +
           Padded("signature", signature_width) + "  example\n";
  for (const TriageGroup& group : triage.groups)
    out += ks::Format("%7llu  %6s  %-16s  %-16s  ", static_cast<unsigned long long>(group.count),
                      Share(group.count, triage.reports).c_str(), Minutes(group.first_seen).c_str(),
                      Minutes(group.last_seen).c_str()) +
           Padded(Versions(group), versions_width) + "  " + Padded(group.signature, signature_width) + "  " +
           group.example + "\n";
  for (const TriageUnreadable& unread : triage.unreadable)
    out += "unreadable: " + unread.file + ": " + unread.why + "\n";
  return kslog::ValidUtf8(out);
}

std::string TriageJson(const Triage& triage) {
  using kslog::JsonString;
  std::string out;
  for (const TriageGroup& group : triage.groups) {
    out += "{\"signature\": " + JsonString(group.signature) + ", \"kind\": " +
           (group.crash ? "\"crash\"" : "\"failure\"") +
           ks::Format(", \"count\": %llu, \"share\": %.4f", static_cast<unsigned long long>(group.count),
                      triage.reports == 0 ? 0.0 : static_cast<double>(group.count) / static_cast<double>(triage.reports)) +
           ", \"versions\": {";
    for (size_t i = 0; i < group.versions.size(); ++i)
      out += (i > 0 ? ", " : "") + JsonString(group.versions[i].first) +
             ks::Format(": %llu", static_cast<unsigned long long>(group.versions[i].second));
    out += "}, \"first_seen\": " + JsonString(group.first_seen) + ", \"last_seen\": " + JsonString(group.last_seen) +
           ", \"example\": " + JsonString(group.example) + ", \"days\": {";
    bool first = true;
    for (const auto& day : group.days) {
      out += (first ? "" : ", ") + JsonString(day.first) + ks::Format(": %llu", static_cast<unsigned long long>(day.second));
      first = false;
    }
    out += "}}\n";
  }
  for (const TriageUnreadable& unread : triage.unreadable)
    out += "{\"unreadable\": " + JsonString(unread.file) + ", \"why\": " + JsonString(unread.why) + "}\n";
  return out;
}
