#pragma once
// The package signature. A signed package ends with one more entry in the
// archive's own format, named "KSPackage.sig", whose body inflates to a DER
// CMS SignedData over exactly the archive's bytes before that entry: detached
// (no content inside), one signer, SHA-256, with or without signed
// attributes. These readers find that entry and take the signature apart;
// the cryptography (the digest, the signature itself, whose signer it is)
// belongs to the caller. Every length is checked against the bytes given.
#include <cstddef>
#include <string>

namespace package {

extern const char kSignatureEntryName[];  // "KSPackage.sig"

// A signature with a certificate chain takes a few KiB; more is no signature.
const size_t kMaxSignatureSize = 65536;

// The SHA-256 the messageDigest attribute carries.
const size_t kSha256Size = 32;

// Whether an entry name is the signature's (ASCII case ignored: the file
// system would take either spelling for the same file).
bool IsSignatureEntryName(const char* name);

enum class SignatureEntryStatus {
  kFound,
  kNone,          // the archive does not end with a signature entry
  kEntriesAfter,  // a signature entry is followed by entries or bytes
  kUnreadable,    // its body does not inflate to at most kMaxSignatureSize bytes
};

struct SignatureEntry {
  size_t signed_size = 0;  // the bytes before the entry, which the signature covers
  std::string der;         // the entry's body, inflated
  std::string detail;      // what was found instead, on every status but kFound
};

// Walks the archive's entries (without inflating them) to its end.
SignatureEntryStatus FindSignatureEntry(const unsigned char* archive, size_t size, SignatureEntry& entry);

// The parts of a detached signature the check needs.
struct DetachedSignature {
  bool has_signed_attributes = false;
  std::string signed_attributes;   // as signed: the DER SET OF the attributes
  std::string message_digest;      // the messageDigest attribute's value (kSha256Size bytes)
  std::string signer_certificate;  // DER; empty when the signature does not carry it
  std::string signature_algorithm;  // the OID's content bytes
  std::string signature;           // the signature value
};

// Takes a DER CMS ContentInfo apart: SignedData with no content inside and
// content type data, SHA-256 as its only digest algorithm, no revocation
// lists, exactly one signer with SHA-256 as its digest and RSA as its
// signature algorithm, and with signed attributes, in DER order, exactly one
// content type (data) and one messageDigest of SHA-256's size. Whatever two
// verifiers could take differently is refused here, so that the starter and
// kstool verify agree. The signer's certificate is found in the signature's
// certificate set by exact issuer and serial number or by subject key
// identifier; it only names the signer, whose key is the expected one's.
// False with a reason when the bytes are not such a signature.
bool ReadDetachedSignature(const unsigned char* der, size_t size, DetachedSignature& signature,
                           std::string& error);

// Both of the above, as a signed starter and kstool verify apply them to a
// package. False with what the refusal is named ("no signature", "entries
// after the signature" or "bad signature") in `what` and why in `detail`.
bool ReadPackageSignature(const unsigned char* archive, size_t size, SignatureEntry& entry,
                          DetachedSignature& signature, const char** what, std::string& detail);

}  // namespace package
