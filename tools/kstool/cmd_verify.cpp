// kstool verify: what a signed starter would make of a package's signature,
// for operators checking the packages they hand out. The signature entry and
// the signature's structure are read by the starter's own code; the
// cryptography is OpenSSL's (native kstool only).
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "package/package_signature.h"
#include "package_signing.h"
#include "support_files.h"

namespace {

// One line on standard error, as a starter's refusal names it; exit 1.
int Refused(const std::string& path, const char* what, const std::string& detail) {
  fprintf(stderr, "kstool: %s is refused (%s: %s)\n", path.c_str(), what, detail.c_str());
  return 1;
}

int RunVerify(const std::vector<std::string>& args) {
  std::string expected;
  std::vector<std::string> paths;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--signer") {
      if (i + 1 == args.size()) return kstool::Fail("verify --signer needs <cert.pem> (see 'kstool verify --help')");
      expected = args[++i];
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      return kstool::Fail("verify has no option '%s' (see 'kstool verify --help')", args[i].c_str());
    } else {
      paths.push_back(args[i]);
    }
  }
  if (paths.size() != 1) return kstool::Fail("verify needs <package> (see 'kstool verify --help')");
  if (kstool::PackageSigningUnavailable() != nullptr)
    return kstool::Fail("verify: %s", kstool::PackageSigningUnavailable());

  std::string package_bytes, error;
  if (!kstool::ReadInput(paths[0], package_bytes, error)) return kstool::Fail("%s", error.c_str());
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(package_bytes.data());
  package::SignatureEntry entry;
  package::DetachedSignature signature;
  const char* what = nullptr;
  if (!package::ReadPackageSignature(bytes, package_bytes.size(), entry, signature, &what, error))
    return Refused(paths[0], what, error);

  std::string subject, detail;
  switch (kstool::CheckPackageSignature(entry.der, signature, package_bytes.substr(0, entry.signed_size), expected,
                                        subject, detail)) {
    case kstool::SignatureCheck::kGood:
      break;
    case kstool::SignatureCheck::kDigestMismatch:
      return Refused(paths[0], "digest mismatch", detail);
    case kstool::SignatureCheck::kBadSignature:
      return Refused(paths[0], "bad signature", detail);
    case kstool::SignatureCheck::kOtherSigner:
      return Refused(paths[0], "other signer", detail);
  }
  printf("signature: good, %s signed attributes, over %zu of %zu bytes\n",
         signature.has_signed_attributes ? "with" : "without", entry.signed_size, package_bytes.size());
  printf("signer: %s%s\n", subject.c_str(), expected.empty() ? " (not compared: no --signer given)" : "");
  return 0;
}

}  // namespace

KSTOOL_COMMAND("verify", "verify [--signer <cert.pem>] <package>",
               "Checks a package's signature as a signed starter does: the archive must end with the\n"
               "entry \"KSPackage.sig\", a detached CMS signature (SHA-256, one signer) of every byte\n"
               "before it, and the signature must hold. Prints the signer's subject. With --signer,\n"
               "the signer must also have that certificate's subject and public key, as a starter\n"
               "signed with it requires. Exits 1 with one line when the signature does not hold.\n"
               "The signer's chain is not checked. Native kstool only (OpenSSL).",
               RunVerify);
