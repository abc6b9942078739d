#include "system/authenticode_win.h"

#include <softpub.h>

#include "base/wide_text.h"

namespace ks {

LONG VerifyFileSignature(HANDLE file, const std::wstring& path, UniqueCertificate* signer) {
  signer->reset();
  WINTRUST_FILE_INFO file_info = {};
  file_info.cbStruct = sizeof file_info;
  file_info.pcwszFilePath = path.c_str();
  file_info.hFile = file;
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file_info;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  HWND no_window = static_cast<HWND>(INVALID_HANDLE_VALUE);
  LONG result = sys::WinVerifyTrust(no_window, &action, &data);
  if (data.hWVTStateData != nullptr) {
    CRYPT_PROVIDER_DATA* provider = sys::WTHelperProvDataFromStateData(data.hWVTStateData);
    CRYPT_PROVIDER_SGNR* first = provider != nullptr ? sys::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0)
                                                     : nullptr;
    if (first != nullptr && first->csCertChain > 0 && first->pasCertChain != nullptr &&
        first->pasCertChain[0].pCert != nullptr)
      signer->reset(sys::CertDuplicateCertificateContext(first->pasCertChain[0].pCert));
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    sys::WinVerifyTrust(no_window, &action, &data);
  }
  return result;
}

UniqueCertificate CertificateFromDer(const std::string& der) {
  if (der.empty() || der.size() > 0xFFFFFFFFu) return UniqueCertificate();
  return UniqueCertificate(sys::CertCreateCertificateContext(
      X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size())));
}

std::string CertificateSubject(PCCERT_CONTEXT certificate) {
  if (certificate == nullptr) return "(none)";
  wchar_t text[512] = L"";
  sys::CertNameToStrW(X509_ASN_ENCODING, &certificate->pCertInfo->Subject, CERT_X500_NAME_STR, text, 512);
  text[511] = L'\0';
  return Narrow(text);
}

SignerMatch MatchSigner(PCCERT_CONTEXT expected, PCCERT_CONTEXT signer) {
  if (!sys::CertCompareCertificateName(X509_ASN_ENCODING, &expected->pCertInfo->Subject, &signer->pCertInfo->Subject))
    return SignerMatch::kOtherSubject;
  if (!sys::CertComparePublicKeyInfo(X509_ASN_ENCODING, &expected->pCertInfo->SubjectPublicKeyInfo,
                                     &signer->pCertInfo->SubjectPublicKeyInfo))
    return SignerMatch::kOtherKey;
  return SignerMatch::kSame;
}

}  // namespace ks
