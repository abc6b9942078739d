#pragma once
// The package description: the first entry of a package for a signed
// starter, "KSPackage.txt", so that the publisher's signature says which
// client and version the package is, and for how long it may be taken.
// Tag fields, one a line:
//   <__ClientName__>Kestrelon</__ClientName__>
//   <__Version__>5.2.1</__Version__>
//   <__NotBefore__>2024-05-01</__NotBefore__>            optional
//   <__NotAfter__>2024-11-01T12:00:00Z</__NotAfter__>    optional
//   <__RollbackAllowed__>Y</__RollbackAllowed__>         optional, "N" if absent
// Times are UTC; a date alone covers its whole day. Fields it does not know
// are left alone; a known field given twice, empty or malformed makes the
// description unreadable, so that no two readers can take it differently.
#include <cstddef>
#include <string>

namespace package {

extern const char kDescriptionEntryName[];  // "KSPackage.txt"

// A few tag lines; more is not a description.
const size_t kMaxDescriptionSize = 4096;

struct PackageDescription {
  std::string client;
  std::string version;
  std::string not_before;  // as written; empty when absent
  std::string not_after;
  bool rollback_allowed = false;
  // Seconds since 1970 (UTC): the first and the last second it is valid.
  long long valid_from = 0;
  long long valid_until = 0;
};

// Whether an entry name is the description's (ASCII case ignored, as the
// file system takes either spelling for the same file).
bool IsDescriptionEntryName(const char* name);

// Reads a description; false with the reason in `error`.
bool ReadPackageDescription(const std::string& text, PackageDescription& description, std::string& error);

// The text of a description from its written fields (client, version, dates
// and rollback), as kstool pack writes it.
std::string DescriptionText(const PackageDescription& description);

// "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM:SSZ", years 1970 to 9999, as seconds
// since 1970; a date alone is its first second, or its last with `end_of_day`.
bool ReadUtcTime(const std::string& text, bool end_of_day, long long* seconds);

// "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcTimeText(long long seconds);

}  // namespace package
