// kstool.exe's side of package_signing.h: no OpenSSL here.
#include "package_signing.h"

namespace kstool {

const char* PackageSigningUnavailable() {
  return "package signatures are made and checked by the native kstool only (it signs with OpenSSL)";
}

bool SignPackageBytes(const std::string&, const std::string&, bool, const std::string&, std::string&, std::string&,
                      std::string& error) {
  error = PackageSigningUnavailable();
  return false;
}

SignatureCheck CheckPackageSignature(const package::DetachedSignature&, const std::string&, const std::string&,
                                     std::string&, std::string& detail) {
  detail = PackageSigningUnavailable();
  return SignatureCheck::kBadSignature;
}

}  // namespace kstool
