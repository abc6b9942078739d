#pragma once
// Whether a package whose signature holds is the one the run asks for. The
// signature says only that the publisher made the package; its description
// (package/package_description.h) says which client and version it is and
// for how long, so that no older, other or replayed package of the same
// publisher is taken. A signed starter and kstool verify decide by this
// alone, with the same refusal names.
#include <cstddef>
#include <string>

#include "package/package_description.h"

namespace package {

// The programs the flow starts from an unpacked package: the launcher, or
// the installer that is copied to it.
extern const char kLauncherName[];   // "KSLauncher.exe"
extern const char kInstallerName[];  // "KSInstaller.exe"

struct PackageRequest {
  std::string client;             // the client the run asks for
  std::string version;            // the version it asks for; empty: it names none
  std::string installed_version;  // the installed client's; empty: none found
  bool needs_program = true;      // false for the accessory archive, which starts nothing
  std::string floor;              // the lowest version the starter takes; empty: none
  long long now = 0;              // seconds since 1970, UTC
};

// Checks the signed bytes (the archive before its signature entry). True
// when the package may be taken; `description` then holds what it says.
// Otherwise false with the refusal's name in `what` ("no description",
// "unreadable description", "other client", "other version", "outside its
// dates", "below the floor", "older than the installed client" or "no
// program") and why in `detail`.
bool AdmitPackage(const unsigned char* signed_bytes, size_t size, const PackageRequest& request,
                  PackageDescription& description, const char** what, std::string& detail);

}  // namespace package
