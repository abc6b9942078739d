// The triage as one HTML page that needs nothing else: styles and charts
// (SVG) inline, no script, only the fonts the reader's system has.
#include <algorithm>
#include <set>

#include "base/text.h"
#include "support/fact_text.h"
#include "support/triage.h"

namespace {

// One colour per signature of the first few, then grey for the others.
const char* const kColours[] = {"#d1495b", "#edae49", "#00798c", "#30638e",
                                "#8e5572", "#66a182", "#bc6c25", "#5c4d7d"};
const size_t kColoured = sizeof kColours / sizeof kColours[0];
const char kOther[] = "#9e9e9e";

const char* Colour(size_t group) { return group < kColoured ? kColours[group] : kOther; }

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : kslog::ValidUtf8(text)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Number(size_t value) { return ks::Format("%llu", static_cast<unsigned long long>(value)); }

std::string Share(size_t count, size_t total) {
  return ks::Format("%.1f%%", total == 0 ? 0.0 : 100.0 * static_cast<double>(count) / static_cast<double>(total));
}

// A bar of `part` out of `whole` in a box of the given size.
std::string Bar(size_t part, size_t whole, int width, int height, const char* colour) {
  double filled = whole == 0 ? 0 : static_cast<double>(width) * static_cast<double>(part) / static_cast<double>(whole);
  return ks::Format("<svg width=\"%d\" height=\"%d\" role=\"img\"><rect width=\"%d\" height=\"%d\" fill=\"#eee\"/>"
                    "<rect width=\"%.1f\" height=\"%d\" fill=\"%s\"/></svg>",
                    width, height, width, height, filled, height, colour);
}

// The reports of one signature on each day, as small bars over every day.
std::string DayBars(const TriageGroup& group, const std::vector<std::string>& days, size_t most, const char* colour) {
  const int kHeight = 18;
  double step = days.empty() ? 0 : std::min(8.0, 160.0 / static_cast<double>(days.size()));
  int width = static_cast<int>(step * static_cast<double>(days.size())) + 1;
  std::string out = ks::Format("<svg width=\"%d\" height=\"%d\" role=\"img\">", width, kHeight);
  for (size_t i = 0; i < days.size(); ++i) {
    auto found = group.days.find(days[i]);
    if (found == group.days.end() || most == 0) continue;
    double height = static_cast<double>(kHeight) * static_cast<double>(found->second) / static_cast<double>(most);
    out += ks::Format("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\"><title>%s: %s</title></rect>",
                      step * static_cast<double>(i), kHeight - height, std::max(step - 1, 1.0), height, colour,
                      days[i].c_str(), Number(found->second).c_str());
  }
  return out + "</svg>";
}

// Reports per day, each day's bar stacked by signature.
std::string DayChart(const Triage& triage, const std::vector<std::string>& days) {
  const int kWidth = 880, kHeight = 220, kLeft = 48, kBottom = 56;
  std::vector<size_t> totals(days.size(), 0);
  for (const TriageGroup& group : triage.groups)
    for (size_t i = 0; i < days.size(); ++i) {
      auto found = group.days.find(days[i]);
      if (found != group.days.end()) totals[i] += found->second;
    }
  size_t most = days.empty() ? 0 : *std::max_element(totals.begin(), totals.end());
  double step = days.empty() ? 0 : std::min(56.0, static_cast<double>(kWidth - kLeft) / static_cast<double>(days.size()));
  double scale = most == 0 ? 0 : static_cast<double>(kHeight - kBottom - 10) / static_cast<double>(most);
  int base = kHeight - kBottom;
  std::string out = ks::Format("<svg width=\"%d\" height=\"%d\" role=\"img\" aria-label=\"reports per day\">", kWidth,
                               kHeight);
  out += ks::Format("<line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"#888\"/>", kLeft, base, kWidth, base);
  out += ks::Format("<text x=\"%d\" y=\"%d\" text-anchor=\"end\" class=\"axis\">%s</text>", kLeft - 6,
                    base - static_cast<int>(static_cast<double>(most) * scale) + 4, Number(most).c_str());
  out += ks::Format("<text x=\"%d\" y=\"%d\" text-anchor=\"end\" class=\"axis\">0</text>", kLeft - 6, base + 4);
  size_t label_every = days.size() / 16 + 1;
  for (size_t i = 0; i < days.size(); ++i) {
    double x = kLeft + step * static_cast<double>(i);
    double y = base;
    for (size_t g = 0; g < triage.groups.size(); ++g) {
      auto found = triage.groups[g].days.find(days[i]);
      if (found == triage.groups[g].days.end()) continue;
      double height = static_cast<double>(found->second) * scale;
      y -= height;
      out += ks::Format("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\"><title>%s: %s, %s"
                        "</title></rect>",
                        x + 1, y, std::max(step - 2, 1.0), height, Colour(g), days[i].c_str(),
                        Number(found->second).c_str(), Escaped(triage.groups[g].signature).c_str());
    }
    if (i % label_every == 0)
      out += ks::Format("<text x=\"%.1f\" y=\"%d\" class=\"axis\" transform=\"rotate(40 %.1f %d)\">%s</text>",
                        x + step / 2 - 4, base + 12, x + step / 2 - 4, base + 12, days[i].c_str());
  }
  return out + "</svg>";
}

}  // namespace

std::string TriagePage(const Triage& triage, const std::string& title) {
  std::set<std::string> all_days;
  size_t most_in_a_day = 0;
  for (const TriageGroup& group : triage.groups)
    for (const auto& day : group.days) {
      all_days.insert(day.first);
      most_in_a_day = std::max(most_in_a_day, day.second);
    }
  std::vector<std::string> days(all_days.begin(), all_days.end());
  size_t largest = triage.groups.empty() ? 0 : triage.groups[0].count;

  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + Escaped(title) +
      "</title>\n<style>\n"
      "body { font-family: system-ui, sans-serif; margin: 24px; color: #222; }\n"
      "h1 { font-size: 20px; } h2 { font-size: 16px; margin-top: 28px; }\n"
      "table { border-collapse: collapse; font-size: 13px; }\n"
      "th, td { padding: 4px 8px; border-bottom: 1px solid #ddd; text-align: left; vertical-align: middle; "
      "white-space: nowrap; }\n"
      "td.n { text-align: right; font-variant-numeric: tabular-nums; }\n"
      "td.sig { font-family: ui-monospace, monospace; white-space: normal; min-width: 320px; max-width: 560px; "
      "overflow-wrap: anywhere; }\n"
      ".key { display: inline-block; width: 10px; height: 10px; }\n"
      ".axis { font-size: 11px; fill: #555; }\n"
      "</style>\n</head>\n<body>\n<h1>" +
      Escaped(title) + "</h1>\n<p>" + Number(triage.reports) + " reports read, " + Number(triage.groups.size()) +
      " signatures, " + Number(triage.unreadable.size()) + " unreadable.</p>\n";

  out += "<h2>Signatures</h2>\n<table>\n<tr><th></th><th>count</th><th>share</th><th>per day</th><th>first seen</th>"
         "<th>last seen</th><th>versions</th><th>signature</th><th>example</th></tr>\n";
  for (size_t g = 0; g < triage.groups.size(); ++g) {
    const TriageGroup& group = triage.groups[g];
    std::string versions;
    for (const auto& version : group.versions)
      versions += (versions.empty() ? "" : "<br>") + Escaped(version.first) + " (" + Number(version.second) + ")";
    out += ks::Format("<tr><td><span class=\"key\" style=\"background:%s\"></span></td>", Colour(g)) +
           "<td class=\"n\">" + Number(group.count) + "</td><td>" + Bar(group.count, largest, 120, 12, Colour(g)) +
           " " + Share(group.count, triage.reports) + "</td><td>" + DayBars(group, days, most_in_a_day, Colour(g)) +
           "</td><td>" + Escaped(group.first_seen) + "</td><td>" + Escaped(group.last_seen) + "</td><td>" + versions +
           "</td><td class=\"sig\">" + Escaped(group.signature) + "</td><td>" + Escaped(group.example) +
           "</td></tr>\n";
  }
  out += "</table>\n";
  if (!days.empty()) out += "<h2>Reports per day</h2>\n" + DayChart(triage, days) + "\n";
  if (!triage.unreadable.empty()) {
    out += "<h2>Reports that do not read</h2>\n<table>\n<tr><th>file</th><th>why</th></tr>\n";
    for (const TriageUnreadable& unread : triage.unreadable)
      out += "<tr><td>" + Escaped(unread.file) + "</td><td>" + Escaped(unread.why) + "</td></tr>\n";
    out += "</table>\n";
  }
  return out + "</body>\n</html>\n";
}
