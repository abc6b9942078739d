#pragma once
// Package signatures for the operator (see package/package_signature.h for
// the entry they travel in). The native kstool signs and checks them with
// OpenSSL (package_signing_posix.cpp); kstool.exe has no OpenSSL and says so
// (package_signing_win.cpp).
#include <string>

#include "package/package_signature.h"

namespace kstool {

// Null where packages can be signed and checked; otherwise why not.
const char* PackageSigningUnavailable();

// The DER CMS SignedData for a signature entry: detached, over `content`,
// SHA-256, by the certificate and key in the PEM files, with signed
// attributes unless `no_attributes` (as openssl cms -sign -binary -md sha256
// [-noattr] makes it). `subject` receives the signer's subject.
bool SignPackageBytes(const std::string& certificate_pem, const std::string& key_pem, bool no_attributes,
                      const std::string& content, std::string& der, std::string& subject, std::string& error);

enum class SignatureCheck { kGood, kDigestMismatch, kBadSignature, kOtherSigner };

// The cryptography of a signature already taken apart by the starter's own
// reader: the messageDigest attribute against the content, then the
// signature by the certificate it carries (its chain is not checked); with
// `expected_pem`, that certificate must have the subject and the public key
// of the one in the file. `subject` receives the signer's subject, `detail`
// what failed.
SignatureCheck CheckPackageSignature(const std::string& der, const package::DetachedSignature& signature,
                                     const std::string& content, const std::string& expected_pem,
                                     std::string& subject, std::string& detail);

}  // namespace kstool
