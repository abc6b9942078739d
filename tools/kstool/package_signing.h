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
// reader, as a signed starter checks it against its own signer: the
// certificate the signature names must have the subject (the same bytes)
// and the public key of the certificate in `expected_pem`; the messageDigest
// attribute must be the SHA-256 of `content`; and the signature must verify
// with that expected certificate's RSA key, never with a certificate the
// signature carries. `subject` receives the named signer's subject, `detail`
// what failed.
SignatureCheck CheckPackageSignature(const package::DetachedSignature& signature, const std::string& content,
                                     const std::string& expected_pem, std::string& subject, std::string& detail);

}  // namespace kstool
