#include "package/client_version.h"

#include <vector>

namespace package {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The numbers of a version without their leading zeros, so that any length
// compares without overflow; false when `text` is not a version.
bool ReadLevels(const std::string& text, std::vector<std::string>& levels) {
  levels.clear();
  if (text.empty() || text.size() > kMaxVersionSize) return false;
  size_t i = 0;
  for (;;) {
    size_t start = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    if (i == start) return false;
    size_t first = start;
    while (first + 1 < i && text[first] == '0') ++first;
    levels.push_back(text.substr(first, i - first));
    if (i == text.size()) return true;
    if (text[i] == '-') break;
    if (text[i] != '.') return false;
    ++i;
  }
  // The label: letters, digits, '.', '_', '+' and '-', never empty.
  if (++i == text.size()) return false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && !IsDigit(c) && c != '.' && c != '_' && c != '+' && c != '-') return false;
  }
  return true;
}

int CompareNumbers(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

}  // namespace

bool IsClientVersion(const std::string& text) {
  std::vector<std::string> levels;
  return ReadLevels(text, levels);
}

VersionOrder CompareClientVersions(const std::string& a, const std::string& b) {
  std::vector<std::string> left, right;
  if (!ReadLevels(a, left) || !ReadLevels(b, right)) return VersionOrder::kUnordered;
  const std::string zero = "0";
  for (size_t i = 0; i < left.size() || i < right.size(); ++i) {
    int order = CompareNumbers(i < left.size() ? left[i] : zero, i < right.size() ? right[i] : zero);
    if (order != 0) return order < 0 ? VersionOrder::kOlder : VersionOrder::kNewer;
  }
  return VersionOrder::kSame;
}

}  // namespace package
