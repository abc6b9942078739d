#pragma once
// Authenticode as the starter uses it: a file's signature verified by
// WinVerifyTrust, the signer taken from WinVerifyTrust's own state (never
// from a second reading of the file), and signers compared by subject and
// public key. No revocation check and no network: the starter must work on
// networks that reach no certificate server.
#include <windows.h>

#include <string>

#include "base/handles_win.h"

namespace ks {

struct CertificateTraits {
  static PCCERT_CONTEXT Invalid() { return nullptr; }
  static bool IsValid(PCCERT_CONTEXT c) { return c != nullptr; }
  static void Close(PCCERT_CONTEXT c) { sys::CertFreeCertificateContext(c); }
};
typedef UniqueResource<PCCERT_CONTEXT, CertificateTraits> UniqueCertificate;

// WinVerifyTrust's result for the open file `file` (named `path`): 0 when its
// signature verifies. `signer` receives the certificate of the signer
// WinVerifyTrust verified, or stays empty.
LONG VerifyFileSignature(HANDLE file, const std::wstring& path, UniqueCertificate* signer);

// The certificate made from DER bytes, or empty.
UniqueCertificate CertificateFromDer(const std::string& der);

// The subject as text, or "(none)".
std::string CertificateSubject(PCCERT_CONTEXT certificate);

enum class SignerMatch { kSame, kOtherSubject, kOtherKey };

// Whether `signer` has the subject and the public key of `expected`.
SignerMatch MatchSigner(PCCERT_CONTEXT expected, PCCERT_CONTEXT signer);

}  // namespace ks
