#include "system/publisher_check_win.h"

#include <windows.h>
#include <softpub.h>

#include <atomic>
#include <string>
#include <vector>

#include "base/handles_win.h"
#include "base/log_api.h"
#include "base/system_api_win.h"
#include "base/wide_text.h"

namespace {

const char kOperation[] = "PublisherCheck::MayStart";
const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

struct StoreTraits {
  static HCERTSTORE Invalid() { return nullptr; }
  static bool IsValid(HCERTSTORE h) { return h != nullptr; }
  static void Close(HCERTSTORE h) { ks::sys::CertCloseStore(h, 0); }
};
struct MessageTraits {
  static HCRYPTMSG Invalid() { return nullptr; }
  static bool IsValid(HCRYPTMSG h) { return h != nullptr; }
  static void Close(HCRYPTMSG h) { ks::sys::CryptMsgClose(h); }
};
struct CertificateTraits {
  static PCCERT_CONTEXT Invalid() { return nullptr; }
  static bool IsValid(PCCERT_CONTEXT c) { return c != nullptr; }
  static void Close(PCCERT_CONTEXT c) { ks::sys::CertFreeCertificateContext(c); }
};
typedef ks::UniqueResource<HCERTSTORE, StoreTraits> UniqueStore;
typedef ks::UniqueResource<HCRYPTMSG, MessageTraits> UniqueMessage;
typedef ks::UniqueResource<PCCERT_CONTEXT, CertificateTraits> UniqueCertificate;

// The starter's own signer, written once at start-up before the worker
// thread starts and only read afterwards.
struct OwnPublisher {
  bool learnt = false;
  LONG result = TRUST_E_NOSIGNATURE;  // what WinVerifyTrust said of the starter
  std::vector<BYTE> certificate;      // encoded; empty when none could be read
  // Only a file that is plainly without a signature counts as unsigned; a
  // signature that cannot be read leaves nothing to match, so all is refused.
  bool Signed() const { return result != TRUST_E_NOSIGNATURE || !certificate.empty(); }
};
OwnPublisher g_own;
std::atomic<bool> g_unchecked_logged(false);

// WinVerifyTrust's result for the file: 0 when its signature verifies. No
// revocation check: the starter must work on networks that cannot reach one.
LONG VerifySignature(const std::wstring& path) {
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = path.c_str();
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_IGNORE;
  data.dwProvFlags = WTD_REVOCATION_CHECK_NONE;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  return ks::sys::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
}

// The certificate of the first signer of the file's embedded signature,
// whether or not the signature verifies; empty without one.
UniqueCertificate ReadSigner(const std::wstring& path) {
  DWORD encoding = 0;
  DWORD content = 0;
  DWORD format = 0;
  UniqueStore store;
  UniqueMessage message;
  if (!ks::sys::CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                                 CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &content, &format, store.put(),
                                 message.put(), nullptr))
    return UniqueCertificate();
  DWORD size = 0;
  if (!ks::sys::CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) || size == 0)
    return UniqueCertificate();
  std::vector<BYTE> buffer(size);
  if (!ks::sys::CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size))
    return UniqueCertificate();
  const CMSG_SIGNER_INFO* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
  CERT_INFO wanted = {};
  wanted.Issuer = signer->Issuer;
  wanted.SerialNumber = signer->SerialNumber;
  return UniqueCertificate(
      ks::sys::CertFindCertificateInStore(store.get(), kEncoding, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr));
}

std::string Subject(PCCERT_CONTEXT certificate) {
  if (certificate == nullptr) return "(none)";
  wchar_t text[512] = L"";
  ks::sys::CertNameToStrW(X509_ASN_ENCODING, &certificate->pCertInfo->Subject, CERT_X500_NAME_STR, text, 512);
  text[511] = L'\0';
  return Narrow(text);
}

std::wstring OwnPath() {
  wchar_t path[512];
  DWORD length = GetModuleFileNameW(nullptr, path, 512);
  return length > 0 && length < 512 ? std::wstring(path, length) : std::wstring();
}

}  // namespace

namespace PublisherCheck {

void LearnOwnPublisher() {
  std::wstring path = OwnPath();
  g_own = OwnPublisher();
  g_own.learnt = true;
  g_own.result = VerifySignature(path);
  UniqueCertificate signer = ReadSigner(path);
  if (signer)
    g_own.certificate.assign(signer.get()->pbCertEncoded, signer.get()->pbCertEncoded + signer.get()->cbCertEncoded);
  if (!g_own.Signed()) return;  // said once, when a package program is started
  if (g_own.result == 0)
    KS_LOG(0, "PublisherCheck::LearnOwnPublisher", "Own signature verified, signer = %s",
           Subject(signer.get()).c_str());
  else
    KS_LOG(3, "PublisherCheck::LearnOwnPublisher",
           "Own signature not verified: WinVerifyTrust() = 0x%08lX, signer = %s",
           static_cast<unsigned long>(g_own.result), Subject(signer.get()).c_str());
}

bool MayStart(const char* path) {
  if (!g_own.learnt) LearnOwnPublisher();
  if (!g_own.Signed()) {
    if (!g_unchecked_logged.exchange(true))
      KS_LOG(0, kOperation, "Publisher of %s not checked: the starter is not signed (0x%08lX)", path,
             static_cast<unsigned long>(g_own.result));
    return true;
  }
  UniqueCertificate own(ks::sys::CertCreateCertificateContext(X509_ASN_ENCODING, g_own.certificate.data(),
                                                              static_cast<DWORD>(g_own.certificate.size())));
  std::wstring wide_path = Widen(path);
  LONG result = VerifySignature(wide_path);
  UniqueCertificate signer = ReadSigner(wide_path);
  const char* refusal = nullptr;
  if (result != 0) {
    refusal = "signature not verified";
  } else if (!own || !signer) {
    refusal = "no signer";
  } else if (!ks::sys::CertCompareCertificateName(X509_ASN_ENCODING, &own.get()->pCertInfo->Subject,
                                                  &signer.get()->pCertInfo->Subject)) {
    refusal = "another publisher";
  } else if (!ks::sys::CertComparePublicKeyInfo(X509_ASN_ENCODING, &own.get()->pCertInfo->SubjectPublicKeyInfo,
                                                &signer.get()->pCertInfo->SubjectPublicKeyInfo)) {
    refusal = "another publisher's key";
  }
  if (refusal != nullptr) {
    KS_LOG(3, kOperation, "Refused %s (%s): WinVerifyTrust() = 0x%08lX, signer = %s, starter's signer = %s", path,
           refusal, static_cast<unsigned long>(result), Subject(signer.get()).c_str(), Subject(own.get()).c_str());
    return false;
  }
  KS_LOG(0, kOperation, "Publisher checked: %s, signer = %s", path, Subject(signer.get()).c_str());
  return true;
}

}  // namespace PublisherCheck
