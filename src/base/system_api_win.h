#pragma once
// The functions the starter uses from system libraries that are not known
// DLLs, each loaded from the system folder on first use (see
// system_library_win.h). Call them as ks::sys::InternetOpenA(...); they take
// and return what the system's declarations say.
#include <winsock2.h>
#include <windows.h>
#include <bcrypt.h>
#include <commctrl.h>
#include <urlmon.h>
#include <wincrypt.h>
#include <wininet.h>
#include <wintrust.h>

#include "base/system_library_win.h"

namespace ks {
namespace sys {

#define KS_SYSTEM_FUNCTION(name) extern const SystemFunction<decltype(::name)> name

// wininet.dll
KS_SYSTEM_FUNCTION(DetectAutoProxyUrl);
KS_SYSTEM_FUNCTION(HttpAddRequestHeadersA);
KS_SYSTEM_FUNCTION(HttpOpenRequestA);
KS_SYSTEM_FUNCTION(HttpOpenRequestW);
KS_SYSTEM_FUNCTION(HttpQueryInfoA);
KS_SYSTEM_FUNCTION(HttpSendRequestA);
KS_SYSTEM_FUNCTION(HttpSendRequestW);
KS_SYSTEM_FUNCTION(InternetCloseHandle);
KS_SYSTEM_FUNCTION(InternetConnectA);
KS_SYSTEM_FUNCTION(InternetConnectW);
KS_SYSTEM_FUNCTION(InternetErrorDlg);
KS_SYSTEM_FUNCTION(InternetOpenA);
KS_SYSTEM_FUNCTION(InternetOpenW);
KS_SYSTEM_FUNCTION(InternetQueryOptionA);
KS_SYSTEM_FUNCTION(InternetQueryOptionW);
KS_SYSTEM_FUNCTION(InternetReadFile);
KS_SYSTEM_FUNCTION(InternetReadFileExA);
KS_SYSTEM_FUNCTION(InternetSetOptionA);
KS_SYSTEM_FUNCTION(InternetSetOptionW);

// comctl32.dll, in the version the manifest names
KS_SYSTEM_FUNCTION(DefSubclassProc);
KS_SYSTEM_FUNCTION(InitCommonControlsEx);
KS_SYSTEM_FUNCTION(RemoveWindowSubclass);
KS_SYSTEM_FUNCTION(SetWindowSubclass);

// urlmon.dll
KS_SYSTEM_FUNCTION(URLDownloadToFileA);

// bcrypt.dll
KS_SYSTEM_FUNCTION(BCryptCloseAlgorithmProvider);
KS_SYSTEM_FUNCTION(BCryptCreateHash);
KS_SYSTEM_FUNCTION(BCryptDestroyHash);
KS_SYSTEM_FUNCTION(BCryptFinishHash);
// Windows 10 and later only, so not declared for the starter's target.
typedef NTSTATUS WINAPI BCryptHashFunction(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, PUCHAR, ULONG, PUCHAR, ULONG);
extern const SystemFunction<BCryptHashFunction> BCryptHash;
KS_SYSTEM_FUNCTION(BCryptHashData);
KS_SYSTEM_FUNCTION(BCryptOpenAlgorithmProvider);

// wintrust.dll
KS_SYSTEM_FUNCTION(WinVerifyTrust);
KS_SYSTEM_FUNCTION(WTHelperGetProvSignerFromChain);
KS_SYSTEM_FUNCTION(WTHelperProvDataFromStateData);

// crypt32.dll
KS_SYSTEM_FUNCTION(CertCompareCertificateName);
KS_SYSTEM_FUNCTION(CertComparePublicKeyInfo);
KS_SYSTEM_FUNCTION(CertCreateCertificateContext);
KS_SYSTEM_FUNCTION(CertDuplicateCertificateContext);
KS_SYSTEM_FUNCTION(CertFreeCertificateContext);
KS_SYSTEM_FUNCTION(CertNameToStrW);
KS_SYSTEM_FUNCTION(CryptMsgClose);
KS_SYSTEM_FUNCTION(CryptMsgControl);
KS_SYSTEM_FUNCTION(CryptMsgOpenToDecode);
KS_SYSTEM_FUNCTION(CryptMsgUpdate);

#undef KS_SYSTEM_FUNCTION

}  // namespace sys
}  // namespace ks
