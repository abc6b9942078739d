#include "package/package_admission.h"

#include "base/text.h"
#include "package/client_version.h"
#include "package/package_entry.h"
#include "package/package_inflate.h"

namespace package {

const char kLauncherName[] = "KSLauncher.exe";
const char kInstallerName[] = "KSInstaller.exe";

namespace {

bool Refuse(const char** what, std::string& detail, const char* name, const std::string& why) {
  *what = name;
  detail = why;
  return false;
}

unsigned long long Number(size_t value) { return value; }

// What the archive holds besides its description.
struct Contents {
  bool program = false;
  std::string problem;  // an entry that cannot be read, or a second description
};

// Reads the first entry as the description's text and walks the rest by
// name. False when the first entry is not the description.
bool ReadContents(const unsigned char* bytes, size_t size, std::string& text, Contents& contents,
                  std::string& detail) {
  MemorySource source(bytes, size);
  char name[kNameBufferSize];
  uint32_t name_length = 0, length = 0;
  uint16_t mask = 0;
  for (size_t index = 0;; ++index) {
    size_t start = source.Position();
    if (ReadNameLength(source, &name_length) != EntryStatus::kOk) {
      if (index == 0) detail = "the package holds no entries";
      return index > 0;
    }
    if (ReadEntryName(source, name_length, name) != EntryStatus::kOk ||
        ReadEntrySizes(source, &length, &mask) != EntryStatus::kOk) {
      if (index == 0) {
        detail = "its first entry cannot be read";
        return false;
      }
      contents.problem = ks::Format("the entry at byte %llu cannot be read", Number(start));
      return true;
    }
    if (index == 0) {
      if (!IsDescriptionEntryName(name)) {
        detail = ks::Format("its first entry is %s, not %s", name, kDescriptionEntryName);
        return false;
      }
      MemorySource body(bytes + source.Position(), size - source.Position());
      StringSink sink(&text, kMaxDescriptionSize);
      if (InflateBody(body, length, sink) != InflateResult::kOk)
        contents.problem = ks::Format("%s does not inflate to at most %llu bytes", kDescriptionEntryName,
                                      Number(kMaxDescriptionSize));
    } else if (IsDescriptionEntryName(name) && contents.problem.empty()) {
      contents.problem = ks::Format("a second %s follows at byte %llu", kDescriptionEntryName, Number(start));
    } else if (IsEntryNamed(name, kLauncherName) || IsEntryNamed(name, kInstallerName)) {
      contents.program = true;
    }
    if (!source.Skip(length)) {
      if (contents.problem.empty())
        contents.problem = ks::Format("the entry at byte %llu ends past the package", Number(start));
      return true;
    }
  }
}

}  // namespace

bool AdmitPackage(const unsigned char* signed_bytes, size_t size, const PackageRequest& request,
                  PackageDescription& description, const char** what, std::string& detail) {
  description = PackageDescription();
  *what = nullptr;
  detail.clear();
  std::string text;
  Contents contents;
  if (!ReadContents(signed_bytes, size, text, contents, detail)) return Refuse(what, detail, "no description", detail);
  if (!contents.problem.empty()) return Refuse(what, detail, "unreadable description", contents.problem);
  std::string error;
  if (!ReadPackageDescription(text, description, error)) return Refuse(what, detail, "unreadable description", error);

  const PackageDescription& d = description;
  if (d.client != request.client)
    return Refuse(what, detail, "other client",
                  "the package is for " + d.client + ", the run asks for " + request.client);
  if (!request.version.empty() && d.version != request.version)
    return Refuse(what, detail, "other version",
                  "the package holds " + d.version + ", the run asks for " + request.version);
  if (request.now < d.valid_from)
    return Refuse(what, detail, "outside its dates",
                  "valid from " + UtcTimeText(d.valid_from) + ", it is now " + UtcTimeText(request.now));
  if (request.now > d.valid_until)
    return Refuse(what, detail, "outside its dates",
                  "valid until " + UtcTimeText(d.valid_until) + ", it is now " + UtcTimeText(request.now));
  if (!request.floor.empty()) {
    VersionOrder order = CompareClientVersions(d.version, request.floor);
    if (order == VersionOrder::kOlder || order == VersionOrder::kUnordered)
      return Refuse(what, detail, "below the floor",
                    d.version + " is below " + request.floor + ", the lowest version this starter takes");
  }
  // An installed version that does not read as one is no client to keep.
  if (!d.rollback_allowed &&
      CompareClientVersions(d.version, request.installed_version) == VersionOrder::kOlder)
    return Refuse(what, detail, "older than the installed client",
                  d.version + " is older than the installed " + request.installed_version +
                      " and its description allows no rollback");
  if (request.needs_program && !contents.program)
    return Refuse(what, detail, "no program",
                  ks::Format("the package brings neither %s nor %s", kLauncherName, kInstallerName));
  return true;
}

}  // namespace package
