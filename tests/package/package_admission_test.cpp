// Whether a signed package is the one a run asks for: its description, the
// order of client versions, and the times a description may name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/client_version.h"
#include "package/package_admission.h"
#include "package/package_writer.h"

namespace {

using package::VersionOrder;

TEST(ClientVersions, OrderByNumbersLevelByLevel) {
  struct Row {
    const char* a;
    const char* b;
    VersionOrder order;
  } const rows[] = {
      {"5.2.1", "5.2.1", VersionOrder::kSame},
      {"5.2", "5.2.0.0", VersionOrder::kSame},
      {"5.10", "5.9", VersionOrder::kNewer},
      {"4.0.0", "5.2.1", VersionOrder::kOlder},
      {"007.1", "7.1", VersionOrder::kSame},
      {"5.2.1-e2e", "5.2.1-rc1", VersionOrder::kSame},  // labels do not order
      {"99999999999999999999.1", "99999999999999999998.9", VersionOrder::kNewer},
      {"5.x", "5", VersionOrder::kUnordered},
      {"", "5", VersionOrder::kUnordered},
      {"5.", "5", VersionOrder::kUnordered},
      {".5", "5", VersionOrder::kUnordered},
      {"5-", "5", VersionOrder::kUnordered},
      {"5.2 1", "5", VersionOrder::kUnordered},
      {"5-a b", "5", VersionOrder::kUnordered},
  };
  for (const Row& row : rows)
    EXPECT_EQ(package::CompareClientVersions(row.a, row.b), row.order) << row.a << " " << row.b;
  EXPECT_FALSE(package::IsClientVersion(std::string(512, '1')));
}

TEST(DescriptionTimes, CalendarDatesOnly) {
  long long seconds = 0;
  for (const char* good : {"1970-01-01", "2024-02-29", "2000-02-29T23:59:59Z", "9999-12-31"})
    EXPECT_TRUE(package::ReadUtcTime(good, false, &seconds)) << good;
  for (const char* bad : {"2023-02-29", "1900-02-29", "1969-12-31", "2024-13-01", "2024-00-10", "2024-1-01",
                          "2024-01-01T24:00:00Z", "2024-01-01T12:00:00", "2024-01-01 12:00:00Z", "+024-01-01", ""})
    EXPECT_FALSE(package::ReadUtcTime(bad, false, &seconds)) << bad;
  // A date alone covers its whole day; the text of a time reads back as it.
  ASSERT_TRUE(package::ReadUtcTime("2100-02-28", true, &seconds));
  EXPECT_EQ(package::UtcTimeText(seconds), "2100-02-28T23:59:59Z");
  EXPECT_EQ(package::UtcTimeText(seconds + 1), "2100-03-01T00:00:00Z");
  ASSERT_TRUE(package::ReadUtcTime("2024-02-29T12:34:56Z", false, &seconds));
  EXPECT_EQ(seconds, 1709210096);
}

const char kDescription[] =
    "<__ClientName__>Kestrelon</__ClientName__>\r\n"
    "<__Version__>5.2.1</__Version__>\r\n"
    "<__NotBefore__>2024-05-01</__NotBefore__>\r\n"
    "<__NotAfter__>2024-06-30</__NotAfter__>\r\n";
const long long kMay2024 = 1715000000;  // 2024-05-06, within its dates

std::string Archive(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string archive;
  for (const auto& entry : entries) EXPECT_TRUE(package::AppendFile(&archive, entry.first, entry.second));
  return archive;
}

std::string Package(const std::string& description, const char* program = "KSInstaller.exe") {
  return Archive({{"KSPackage.txt", description}, {program, "MZ"}, {"readme.txt", "hello"}});
}

// What AdmitPackage calls a refusal, or "admitted".
std::string Verdict(const std::string& archive, const package::PackageRequest& request) {
  package::PackageDescription description;
  const char* what = nullptr;
  std::string detail;
  if (package::AdmitPackage(reinterpret_cast<const unsigned char*>(archive.data()), archive.size(), request,
                            description, &what, detail))
    return "admitted";
  EXPECT_FALSE(detail.empty());
  return what;
}

package::PackageRequest Asks(const char* version = "5.2.1") {
  package::PackageRequest request;
  request.client = "Kestrelon";
  request.version = version;
  request.now = kMay2024;
  return request;
}

TEST(PackageAdmission, TheSignedDescriptionAgainstWhatTheRunAsks) {
  std::string described = Package(kDescription);
  std::string rollback = Package(std::string(kDescription) + "<__RollbackAllowed__>Y</__RollbackAllowed__>");
  long long last_second = 0;
  ASSERT_TRUE(package::ReadUtcTime("2024-06-30", true, &last_second));
  struct Row {
    const char* name;
    std::string archive;
    package::PackageRequest request;
    std::string verdict;
  };
  package::PackageRequest any_version = Asks(""), lower_case_client = Asks();
  package::PackageRequest too_early = Asks(), last = Asks(), too_late = Asks();
  lower_case_client.client = "kestrelon";
  too_early.now = 1714521599;  // 2024-04-30T23:59:59Z
  last.now = last_second;
  too_late.now = last_second + 1;
  package::PackageRequest floor_above = Asks(), floor_same = Asks(), floor_labelled = Asks();
  floor_above.floor = "5.3";
  floor_same.floor = "5.2.1";
  floor_labelled.floor = "5.2.1-rc";
  package::PackageRequest newer_installed = Asks(), older_installed = Asks(), unreadable_installed = Asks();
  newer_installed.installed_version = "6.0.0";
  older_installed.installed_version = "5.0";
  unreadable_installed.installed_version = "latest";
  package::PackageRequest accessory = Asks();
  accessory.needs_program = false;

  const Row rows[] = {
      {"as asked", described, Asks(), "admitted"},
      {"a run that names no version", described, any_version, "admitted"},
      {"client names are exact", described, lower_case_client, "other client"},
      {"versions are exact text", described, Asks("5.2.1.0"), "other version"},
      {"before its first day", described, too_early, "outside its dates"},
      {"its last second", described, last, "admitted"},
      {"after its last day", described, too_late, "outside its dates"},
      {"below the floor", described, floor_above, "below the floor"},
      {"at the floor", described, floor_same, "admitted"},
      {"at a labelled floor", described, floor_labelled, "admitted"},
      {"older than the installed", described, newer_installed, "older than the installed client"},
      {"older, rollback allowed", rollback, newer_installed, "admitted"},
      {"newer than the installed", described, older_installed, "admitted"},
      {"installed version unreadable", described, unreadable_installed, "admitted"},
      {"the launcher alone", Package(kDescription, "ksLAUNCHER.EXE"), Asks(), "admitted"},
      {"no program", Package(kDescription, "bin\\KSInstaller.exe"), Asks(), "no program"},
      {"the accessory archive", Package(kDescription, "accessory.txt"), accessory, "admitted"},
      {"empty", "", Asks(), "no description"},
      {"description not first", Archive({{"KSInstaller.exe", "MZ"}, {"KSPackage.txt", kDescription}}), Asks(),
       "no description"},
      {"description's name in other case", Archive({{"kspackage.TXT", kDescription}, {"KSInstaller.exe", "MZ"}}),
       Asks(), "admitted"},
      {"a second description",
       Archive({{"KSPackage.txt", kDescription}, {"KSInstaller.exe", "MZ"}, {"KSPackage.txt", kDescription}}), Asks(),
       "unreadable description"},
      {"a field twice", Package(std::string(kDescription) + "<__Version__>4.0</__Version__>"), Asks(),
       "unreadable description"},
      {"no version", Package("<__ClientName__>Kestrelon</__ClientName__>"), any_version, "unreadable description"},
      {"a version that is none", Package("<__ClientName__>Kestrelon</__ClientName__><__Version__>new</__Version__>"),
       any_version, "unreadable description"},
      {"an empty client", Package("<__ClientName__></__ClientName__><__Version__>5.2.1</__Version__>"), Asks(),
       "unreadable description"},
      {"a field not closed", Package("<__ClientName__>Kestrelon</__ClientName__><__Version__>5.2.1"), Asks(),
       "unreadable description"},
      {"its dates the wrong way round",
       Package("<__ClientName__>Kestrelon</__ClientName__><__Version__>5.2.1</__Version__>"
               "<__NotBefore__>2024-07-01</__NotBefore__><__NotAfter__>2024-06-30</__NotAfter__>"),
       Asks(), "unreadable description"},
      {"rollback neither Y nor N",
       Package(std::string(kDescription) + "<__RollbackAllowed__>yes</__RollbackAllowed__>"), Asks(),
       "unreadable description"},
      {"longer than a description", Package(std::string(kDescription) + std::string(4096, ' ')), Asks(),
       "unreadable description"},
      {"a zero byte", Package(std::string(kDescription) + std::string(1, '\0')), Asks(), "unreadable description"},
  };
  for (const Row& row : rows) EXPECT_EQ(Verdict(row.archive, row.request), row.verdict) << row.name;
}

}  // namespace
