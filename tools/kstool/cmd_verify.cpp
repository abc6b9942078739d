// kstool verify: what a signed starter would make of a package, for
// operators checking the packages they hand out. The signature entry, the
// signature's structure and the package's description are read, and the
// package admitted or refused, by the starter's own code with the same
// refusal names; the cryptography is OpenSSL's (native kstool only), with the
// expected signer's own key as the starter uses its own.
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "command.h"
#include "package/client_floor.h"
#include "package/client_version.h"
#include "package/package_admission.h"
#include "package/package_signature.h"
#include "package_signing.h"
#include "support_files.h"

namespace {

// One line on standard error, as a starter's refusal names it; exit 1.
int Refused(const std::string& path, const char* what, const std::string& detail) {
  fprintf(stderr, "kstool: %s is refused (%s: %s)\n", path.c_str(), what, detail.c_str());
  return 1;
}

struct VerifyOptions {
  std::string signer;
  std::string path;
  package::PackageRequest request;
};

bool ParseOptions(const std::vector<std::string>& args, VerifyOptions& options, std::string& error) {
  options.request.client = "Kestrelon";  // the starter's own default
  options.request.floor = package::kMinimumClientVersion;
  struct Valued {
    const char* name;
    std::string* value;
  } const valued[] = {{"--signer", &options.signer},
                      {"--client", &options.request.client},
                      {"--version", &options.request.version},
                      {"--installed", &options.request.installed_version},
                      {"--floor", &options.request.floor}};
  std::vector<std::string> paths;
  for (size_t i = 0; i < args.size(); ++i) {
    bool known = false;
    for (const Valued& option : valued) {
      if (args[i] != option.name) continue;
      if (i + 1 == args.size()) {
        error = std::string("verify ") + option.name + " needs a value (see 'kstool verify --help')";
        return false;
      }
      *option.value = args[++i];
      known = true;
    }
    if (known) continue;
    if (args[i] == "--accessory") {
      options.request.needs_program = false;
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      error = "verify has no option '" + args[i] + "' (see 'kstool verify --help')";
      return false;
    } else {
      paths.push_back(args[i]);
    }
  }
  if (paths.size() != 1 || options.signer.empty()) {
    error = "verify needs --signer <cert.pem> and <package> (see 'kstool verify --help')";
    return false;
  }
  if (!options.request.floor.empty() && !package::IsClientVersion(options.request.floor)) {
    error = "verify --floor '" + options.request.floor + "' is not a version";
    return false;
  }
  options.path = paths[0];
  return true;
}

int RunVerify(const std::vector<std::string>& args) {
  VerifyOptions options;
  std::string error;
  if (!ParseOptions(args, options, error)) return kstool::Fail("%s", error.c_str());
  if (kstool::PackageSigningUnavailable() != nullptr)
    return kstool::Fail("verify: %s", kstool::PackageSigningUnavailable());

  std::string package_bytes;
  if (!kstool::ReadInput(options.path, package_bytes, error)) return kstool::Fail("%s", error.c_str());
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(package_bytes.data());
  package::SignatureEntry entry;
  package::DetachedSignature signature;
  const char* what = nullptr;
  if (!package::ReadPackageSignature(bytes, package_bytes.size(), entry, signature, &what, error))
    return Refused(options.path, what, error);

  std::string subject;
  switch (kstool::CheckPackageSignature(signature, package_bytes.substr(0, entry.signed_size), options.signer,
                                        subject, error)) {
    case kstool::SignatureCheck::kGood:
      break;
    case kstool::SignatureCheck::kDigestMismatch:
      return Refused(options.path, "digest mismatch", error);
    case kstool::SignatureCheck::kBadSignature:
      return Refused(options.path, "bad signature", error);
    case kstool::SignatureCheck::kOtherSigner:
      return Refused(options.path, "other signer", error);
  }
  options.request.now = static_cast<long long>(time(nullptr));
  package::PackageDescription description;
  if (!package::AdmitPackage(bytes, entry.signed_size, options.request, description, &what, error))
    return Refused(options.path, what, error);

  printf("signature: good, %s signed attributes, over %zu of %zu bytes\n",
         signature.has_signed_attributes ? "with" : "without", entry.signed_size, package_bytes.size());
  printf("signer: %s\n", subject.c_str());
  printf("package: %s %s, not before %s, not after %s, rollback %s\n", description.client.c_str(),
         description.version.c_str(), description.not_before.empty() ? "(any)" : description.not_before.c_str(),
         description.not_after.empty() ? "(any)" : description.not_after.c_str(),
         description.rollback_allowed ? "allowed" : "not allowed");
  return 0;
}

}  // namespace

KSTOOL_COMMAND("verify",
               "verify --signer <cert.pem> [--client <name>] [--version <version>] [--installed <version>]\n"
               "       [--floor <version>] [--accessory] <package>",
               "Checks a package as a signed starter signed with <cert.pem> does, with the same reading\n"
               "rules and refusal names. The archive must end with the entry \"KSPackage.sig\", a detached\n"
               "CMS signature (SHA-256, RSA, one signer) of every byte before it that verifies with the\n"
               "key of <cert.pem> itself, by a signer of that certificate's subject and key. It must begin\n"
               "with the entry \"KSPackage.txt\", its description, naming the client the run asks for\n"
               "(--client, \"Kestrelon\" by default) and the version (--version; without it, any), and\n"
               "the time must lie within its dates. It is refused below --floor (by default the floor\n"
               "this kstool was built with, as a starter is), or older than the installed client's\n"
               "--installed version unless it allows a rollback, or without KSLauncher.exe or\n"
               "KSInstaller.exe (not asked of the --accessory archive). Prints the signer and what the\n"
               "package is; exits 1 with one line when a starter would refuse it. The signer's chain is\n"
               "not checked. Native kstool only (OpenSSL).",
               RunVerify);
