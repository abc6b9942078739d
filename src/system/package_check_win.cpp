#include "system/package_check_win.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "base/codec.h"
#include "base/digest_win.h"
#include "base/log_api.h"
#include "package/client_floor.h"
#include "package/package_signature.h"
#include "system/authenticode_win.h"
#include "system/own_signer_win.h"

namespace {

const char kOperation[] = "PackageCheck::Verify";
const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

struct MessageTraits {
  static HCRYPTMSG Invalid() { return nullptr; }
  static bool IsValid(HCRYPTMSG h) { return h != nullptr; }
  static void Close(HCRYPTMSG h) { ks::sys::CryptMsgClose(h); }
};
typedef ks::UniqueResource<HCRYPTMSG, MessageTraits> UniqueMessage;

bool Refuse(const char* path, const char* what, const std::string& detail) {
  KS_LOG(3, kOperation, "Refused package %s (%s: %s)", path, what, detail.c_str());
  return false;
}

// The signature checked by the system over the signed bytes with the public
// key of the starter's own signer. With signed attributes the system checks
// the signature over them; whether it also compares their messageDigest with
// the content is left to the caller (Wine does not).
bool VerifyWithOwnKey(const std::string& der, const unsigned char* content, size_t size, PCCERT_CONTEXT own,
                      DWORD* error) {
  CMSG_CTRL_VERIFY_SIGNATURE_EX_PARA signer = {};
  signer.cbSize = sizeof signer;
  signer.dwSignerIndex = 0;
  signer.dwSignerType = CMSG_VERIFY_SIGNER_CERT;
  signer.pvSigner = const_cast<CERT_CONTEXT*>(own);
  UniqueMessage message(ks::sys::CryptMsgOpenToDecode(kEncoding, CMSG_DETACHED_FLAG, 0, 0, nullptr, nullptr));
  bool verified =
      message &&
      ks::sys::CryptMsgUpdate(message.get(), reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size()),
                              TRUE) &&
      ks::sys::CryptMsgUpdate(message.get(), content, static_cast<DWORD>(size), TRUE) &&
      ks::sys::CryptMsgControl(message.get(), 0, CMSG_CTRL_VERIFY_SIGNATURE_EX, &signer);
  *error = verified ? 0 : GetLastError();
  return verified;
}

// Seconds since 1970, UTC, by the system clock.
long long NowUtc() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  const unsigned long long k1970 = 116444736000000000ULL;  // in 100 ns since 1601
  return ticks < k1970 ? 0 : static_cast<long long>((ticks - k1970) / 10000000ULL);
}

std::string Base64(const std::string& bytes) {
  std::string text;
  Utility::Base64Encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), text, false);
  return text;
}

}  // namespace

namespace PackageCheck {

bool Verify(const char* path, const unsigned char* bytes, size_t size, package::PackageRequest request,
            size_t* unpack_size) {
  *unpack_size = 0;
  const OwnSigner* own = nullptr;
  switch (OwnSigner::BeginCheck(kOperation, path, &own)) {
    case OwnSigner::Start::kLetThrough:
      *unpack_size = size;
      return true;
    case OwnSigner::Start::kRefuse:
      return Refuse(path, "starter not verified", own->why());
    case OwnSigner::Start::kCheck:
      break;
  }
  // The system's calls take 32-bit sizes; no package reaches them.
  if (size > 0x7FFFFFFFu) return Refuse(path, "no signature", "the package is larger than 2 GiB");

  package::SignatureEntry entry;
  package::DetachedSignature signature;
  const char* what = nullptr;
  std::string detail;
  if (!package::ReadPackageSignature(bytes, size, entry, signature, &what, detail))
    return Refuse(path, what, detail);

  if (signature.signer_certificate.empty())
    return Refuse(path, "other signer", "the signature does not carry its signer's certificate");
  ks::UniqueCertificate signer = ks::CertificateFromDer(signature.signer_certificate);
  if (!signer) return Refuse(path, "bad signature", "its signer's certificate cannot be read");
  ks::SignerMatch match = ks::MatchSigner(own->certificate(), signer.get());
  if (match != ks::SignerMatch::kSame)
    return Refuse(path, "other signer",
                  ks::CertificateSubject(signer.get()) +
                      (match == ks::SignerMatch::kOtherKey ? " with another key" : "") + ", starter's signer = " +
                      ks::CertificateSubject(own->certificate()));
  // kstool verify takes RSA signers alone; so does the starter.
  if (strcmp(own->certificate()->pCertInfo->SubjectPublicKeyInfo.Algorithm.pszObjId, szOID_RSA_RSA) != 0)
    return Refuse(path, "bad signature", "the starter's signer's key is not RSA");

  if (signature.has_signed_attributes) {
    unsigned char digest[package::kSha256Size];
    if (!ks::HashBytes(BCRYPT_SHA256_ALGORITHM, bytes, entry.signed_size, digest, sizeof digest))
      return Refuse(path, "bad signature", "SHA-256 cannot be computed here");
    std::string actual(reinterpret_cast<const char*>(digest), sizeof digest);
    if (actual != signature.message_digest)
      return Refuse(path, "digest mismatch",
                    "signed " + Base64(signature.message_digest) + ", package " + Base64(actual));
  }
  DWORD error_code = 0;
  if (!VerifyWithOwnKey(entry.der, bytes, entry.signed_size, own->certificate(), &error_code))
    return Refuse(path, "bad signature", ks::Format("not verified with the starter's signer's key, error 0x%08lX",
                                                    static_cast<unsigned long>(error_code)));

  // Signed by the publisher; now whether it is the package this run asks for.
  request.floor = package::kMinimumClientVersion;
  request.now = NowUtc();
  package::PackageDescription description;
  if (!package::AdmitPackage(bytes, entry.signed_size, request, description, &what, detail))
    return Refuse(path, what, detail);

  KS_LOG(0, kOperation, "Package verified: %s, %llu signed bytes, signer = %s, client = %s %s", path,
         static_cast<unsigned long long>(entry.signed_size), ks::CertificateSubject(signer.get()).c_str(),
         description.client.c_str(), description.version.c_str());
  *unpack_size = entry.signed_size;
  return true;
}

bool MayUseUnread(const char* path, unsigned long error) {
  const OwnSigner* own = nullptr;
  if (OwnSigner::BeginCheck(kOperation, path, &own) == OwnSigner::Start::kLetThrough) return true;
  return Refuse(path, "no signature", ks::Format("it cannot be read, error %lu", error));
}

}  // namespace PackageCheck
