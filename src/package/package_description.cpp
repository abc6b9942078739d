#include "package/package_description.h"

#include <climits>

#include "base/tag_field.h"
#include "base/text.h"
#include "package/client_version.h"
#include "package/package_entry.h"

namespace package {

const char kDescriptionEntryName[] = "KSPackage.txt";

namespace {

const size_t kMaxClientNameSize = 511;  // the starter's 512-byte client name

bool Fail(std::string& error, const std::string& reason) {
  error = reason;
  return false;
}

size_t Occurrences(const std::string& text, const std::string& tag) {
  size_t count = 0;
  for (size_t at = text.find(tag); at != std::string::npos; at = text.find(tag, at + tag.size())) ++count;
  return count;
}

// The value of a field, which must be there at most once; `present` tells
// whether it is.
bool ReadField(const std::string& text, const char* name, std::string& value, bool* present, std::string& error) {
  value.clear();
  std::string opening = Utility::OpeningTag(name);
  size_t count = Occurrences(text, opening);
  *present = count > 0;
  if (count == 0) return true;
  if (count > 1) return Fail(error, ks::Format("it names %s more than once", name));
  if (!Utility::GetTagValue(text.c_str(), opening.c_str(), Utility::ClosingTag(name).c_str(), value))
    return Fail(error, ks::Format("its %s is not closed", name));
  if (value.empty()) return Fail(error, ks::Format("its %s is empty", name));
  return true;
}

// Tag fields have no escaping: a name holding a tag would hold another
// field for some reader.
bool IsClientName(const std::string& name) {
  if (name.size() > kMaxClientNameSize) return false;
  for (char c : name)
    if (static_cast<unsigned char>(c) < ' ' || c == '<' || c == '>') return false;
  return true;
}

// Fixed-width decimal digits at `text[at]`.
bool ReadDigits(const std::string& text, size_t at, size_t count, int* value) {
  *value = 0;
  if (text.size() < at + count) return false;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    *value = *value * 10 + (text[i] - '0');
  }
  return true;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long long DaysSince1970(int year, int month, int day) {
  long long y = month <= 2 ? year - 1 : year;
  long long era = y / 400;
  long long year_of_era = y - era * 400;
  long long day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  long long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

}  // namespace

bool IsDescriptionEntryName(const char* name) { return IsEntryNamed(name, kDescriptionEntryName); }

bool ReadUtcTime(const std::string& text, bool end_of_day, long long* seconds) {
  *seconds = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool date_only = text.size() == 10;
  if (!date_only && text.size() != 20) return false;
  if (!ReadDigits(text, 0, 4, &year) || text[4] != '-' || !ReadDigits(text, 5, 2, &month) || text[7] != '-' ||
      !ReadDigits(text, 8, 2, &day))
    return false;
  if (!date_only && (text[10] != 'T' || !ReadDigits(text, 11, 2, &hour) || text[13] != ':' ||
                     !ReadDigits(text, 14, 2, &minute) || text[16] != ':' || !ReadDigits(text, 17, 2, &second) ||
                     text[19] != 'Z'))
    return false;
  if (year < 1970 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59)
    return false;
  if (date_only && end_of_day) {
    hour = 23;
    minute = 59;
    second = 59;
  }
  *seconds = DaysSince1970(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return true;
}

std::string UtcTimeText(long long seconds) {
  if (seconds < 0) seconds = 0;
  long long days = seconds / 86400;
  long long rest = seconds % 86400;
  // The inverse of DaysSince1970.
  long long z = days + 719468;
  long long era = z / 146097;
  long long day_of_era = z - era * 146097;
  long long year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  long long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  long long mp = (5 * day_of_year + 2) / 153;
  long long day = day_of_year - (153 * mp + 2) / 5 + 1;
  long long month = mp < 10 ? mp + 3 : mp - 9;
  long long year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  return ks::Format("%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", year, month, day, rest / 3600, rest / 60 % 60,
                    rest % 60);
}

bool ReadPackageDescription(const std::string& text, PackageDescription& description, std::string& error) {
  description = PackageDescription();
  error.clear();
  if (text.size() > kMaxDescriptionSize)
    return Fail(error, ks::Format("it is longer than %u bytes", static_cast<unsigned>(kMaxDescriptionSize)));
  if (text.find('\0') != std::string::npos) return Fail(error, "it holds a zero byte");

  bool present = false;
  if (!ReadField(text, "ClientName", description.client, &present, error)) return false;
  if (!present) return Fail(error, "it names no ClientName");
  if (!IsClientName(description.client)) return Fail(error, "its ClientName is not a client name");
  if (!ReadField(text, "Version", description.version, &present, error)) return false;
  if (!present) return Fail(error, "it names no Version");
  if (!IsClientVersion(description.version))
    return Fail(error, "its Version '" + description.version + "' is not a version");

  description.valid_until = LLONG_MAX;
  if (!ReadField(text, "NotBefore", description.not_before, &present, error)) return false;
  if (present && !ReadUtcTime(description.not_before, false, &description.valid_from))
    return Fail(error, "its NotBefore '" + description.not_before + "' is not a date");
  if (!ReadField(text, "NotAfter", description.not_after, &present, error)) return false;
  if (present && !ReadUtcTime(description.not_after, true, &description.valid_until))
    return Fail(error, "its NotAfter '" + description.not_after + "' is not a date");
  if (description.valid_from > description.valid_until) return Fail(error, "its NotAfter comes before its NotBefore");

  std::string rollback;
  if (!ReadField(text, "RollbackAllowed", rollback, &present, error)) return false;
  if (present && rollback != "Y" && rollback != "N")
    return Fail(error, "its RollbackAllowed '" + rollback + "' is neither Y nor N");
  description.rollback_allowed = rollback == "Y";
  return true;
}

std::string DescriptionText(const PackageDescription& description) {
  auto line = [](const char* name, const std::string& value) {
    return Utility::OpeningTag(name) + value + Utility::ClosingTag(name) + "\r\n";
  };
  std::string text = line("ClientName", description.client) + line("Version", description.version);
  if (!description.not_before.empty()) text += line("NotBefore", description.not_before);
  if (!description.not_after.empty()) text += line("NotAfter", description.not_after);
  text += line("RollbackAllowed", ks::YesNo(description.rollback_allowed));
  return text;
}

}  // namespace package
