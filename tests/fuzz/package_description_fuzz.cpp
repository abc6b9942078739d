// The package description's reader and the admission of a package by it.
// The input is read as a description's text and as the signed bytes of a
// package, whose first entry is its description. Whatever the bytes: nothing
// is read past them; a description that reads is written by kstool pack's
// writer into a text that reads the same; a refusal has one of the names a
// starter logs and a reason; a package admitted is the one asked for.
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "package/package_admission.h"
#include "package/package_description.h"

namespace {

void CheckDescription(const uint8_t* data, size_t size) {
  package::PackageDescription description, again;
  std::string error;
  if (!package::ReadPackageDescription(std::string(reinterpret_cast<const char*>(data), size), description, error)) {
    KS_FUZZ_CHECK(!error.empty());
    return;
  }
  KS_FUZZ_CHECK(description.valid_from <= description.valid_until);
  KS_FUZZ_CHECK(package::ReadPackageDescription(package::DescriptionText(description), again, error));
  KS_FUZZ_CHECK(again.client == description.client && again.version == description.version);
  KS_FUZZ_CHECK(again.valid_from == description.valid_from && again.valid_until == description.valid_until);
  KS_FUZZ_CHECK(again.rollback_allowed == description.rollback_allowed);
}

void CheckAdmission(const uint8_t* data, size_t size) {
  package::PackageRequest request;
  request.client = "Kestrelon";
  request.installed_version = "5.0";
  request.floor = "4.1";
  request.now = 1715000000;
  package::PackageDescription description;
  const char* what = nullptr;
  std::string detail;
  if (package::AdmitPackage(data, size, request, description, &what, detail)) {
    KS_FUZZ_CHECK(what == nullptr && description.client == request.client);
    KS_FUZZ_CHECK(description.valid_from <= request.now && request.now <= description.valid_until);
    return;
  }
  static const char* const kNames[] = {"no description", "unreadable description", "other client",
                                       "other version", "outside its dates", "below the floor",
                                       "older than the installed client", "no program"};
  bool known = false;
  for (const char* name : kNames) known = known || (what != nullptr && strcmp(what, name) == 0);
  KS_FUZZ_CHECK(known && !detail.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckDescription(data, size);
  CheckAdmission(data, size);
  return 0;
}
