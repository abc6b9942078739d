// The table: each function with its library and the result it gives while
// the library or the function is missing, which is the result the function
// itself gives when it fails.
#include "base/system_api_win.h"

namespace ks {
namespace sys {
namespace {

const SystemLibrary kWinInet(L"wininet.dll");
const SystemLibrary kUrlMon(L"urlmon.dll");
const SystemLibrary kBCrypt(L"bcrypt.dll");
const SystemLibrary kWinTrust(L"wintrust.dll");
const SystemLibrary kCrypt32(L"crypt32.dll");
const SystemLibrary kCommonControls(L"comctl32.dll", SystemLibrary::kSideBySide);

const NTSTATUS kNoFunction = static_cast<NTSTATUS>(0xC000007AL);      // STATUS_PROCEDURE_NOT_FOUND
const HRESULT kNoFunctionResult = static_cast<HRESULT>(0x8007007FL);  // ERROR_PROC_NOT_FOUND
const LONG kNotVerified = static_cast<LONG>(0x8007007FL);             // anything but 0 is no trust

}  // namespace

#define KS_SYSTEM_FUNCTION(library, name, failure) const SystemFunction<decltype(::name)> name(library, #name, failure)

KS_SYSTEM_FUNCTION(kWinInet, DetectAutoProxyUrl, FALSE);
KS_SYSTEM_FUNCTION(kWinInet, HttpAddRequestHeadersA, FALSE);
KS_SYSTEM_FUNCTION(kWinInet, HttpOpenRequestA, nullptr);
KS_SYSTEM_FUNCTION(kWinInet, HttpOpenRequestW, nullptr);
KS_SYSTEM_FUNCTION(kWinInet, HttpQueryInfoA, FALSE);
KS_SYSTEM_FUNCTION(kWinInet, HttpSendRequestA, FALSE);
KS_SYSTEM_FUNCTION(kWinInet, HttpSendRequestW, FALSE);
KS_SYSTEM_FUNCTION(kWinInet, InternetCloseHandle, FALSE);
KS_SYSTEM_FUNCTION(kWinInet, InternetConnectA, nullptr);
KS_SYSTEM_FUNCTION(kWinInet, InternetConnectW, nullptr);
KS_SYSTEM_FUNCTION(kWinInet, InternetErrorDlg, ERROR_CANCELLED);
KS_SYSTEM_FUNCTION(kWinInet, InternetOpenA, nullptr);
KS_SYSTEM_FUNCTION(kWinInet, InternetOpenW, nullptr);
KS_SYSTEM_FUNCTION(kWinInet, InternetQueryOptionA, FALSE);
KS_SYSTEM_FUNCTION(kWinInet, InternetQueryOptionW, FALSE);
KS_SYSTEM_FUNCTION(kWinInet, InternetReadFile, FALSE);
KS_SYSTEM_FUNCTION(kWinInet, InternetReadFileExA, FALSE);
KS_SYSTEM_FUNCTION(kWinInet, InternetSetOptionA, FALSE);
KS_SYSTEM_FUNCTION(kWinInet, InternetSetOptionW, FALSE);

KS_SYSTEM_FUNCTION(kCommonControls, DefSubclassProc, 0);
KS_SYSTEM_FUNCTION(kCommonControls, InitCommonControlsEx, FALSE);
KS_SYSTEM_FUNCTION(kCommonControls, RemoveWindowSubclass, FALSE);
KS_SYSTEM_FUNCTION(kCommonControls, SetWindowSubclass, FALSE);

KS_SYSTEM_FUNCTION(kUrlMon, URLDownloadToFileA, kNoFunctionResult);

KS_SYSTEM_FUNCTION(kBCrypt, BCryptCloseAlgorithmProvider, kNoFunction);
KS_SYSTEM_FUNCTION(kBCrypt, BCryptCreateHash, kNoFunction);
KS_SYSTEM_FUNCTION(kBCrypt, BCryptDestroyHash, kNoFunction);
KS_SYSTEM_FUNCTION(kBCrypt, BCryptFinishHash, kNoFunction);
const SystemFunction<BCryptHashFunction> BCryptHash(kBCrypt, "BCryptHash", kNoFunction);
KS_SYSTEM_FUNCTION(kBCrypt, BCryptHashData, kNoFunction);
KS_SYSTEM_FUNCTION(kBCrypt, BCryptOpenAlgorithmProvider, kNoFunction);

KS_SYSTEM_FUNCTION(kWinTrust, WinVerifyTrust, kNotVerified);
KS_SYSTEM_FUNCTION(kWinTrust, WTHelperGetProvSignerFromChain, nullptr);
KS_SYSTEM_FUNCTION(kWinTrust, WTHelperProvDataFromStateData, nullptr);

KS_SYSTEM_FUNCTION(kCrypt32, CertCompareCertificateName, FALSE);
KS_SYSTEM_FUNCTION(kCrypt32, CertComparePublicKeyInfo, FALSE);
KS_SYSTEM_FUNCTION(kCrypt32, CertCreateCertificateContext, nullptr);
KS_SYSTEM_FUNCTION(kCrypt32, CertDuplicateCertificateContext, nullptr);
KS_SYSTEM_FUNCTION(kCrypt32, CertFreeCertificateContext, FALSE);
KS_SYSTEM_FUNCTION(kCrypt32, CertNameToStrW, 0);
KS_SYSTEM_FUNCTION(kCrypt32, CryptMsgClose, FALSE);
KS_SYSTEM_FUNCTION(kCrypt32, CryptMsgControl, FALSE);
KS_SYSTEM_FUNCTION(kCrypt32, CryptMsgOpenToDecode, nullptr);
KS_SYSTEM_FUNCTION(kCrypt32, CryptMsgUpdate, FALSE);

#undef KS_SYSTEM_FUNCTION

}  // namespace sys
}  // namespace ks
