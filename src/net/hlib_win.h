#pragma once
// The page fetcher: HLib::GetPage fetches one URL path from a host into the
// caller's buffer, through the request engine HR (remembered access setting,
// the connection's proxy settings, proxy scripts), then one plain WinInet
// request, and, once WinInet has failed in this process, the socket fetch.
#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

#include "base/handles_win.h"
#include "net/access_setting.h"
#include "net/range_reply.h"

// The request engine. Its operations are logged as "HR::...".
class HR {
 public:
  HR();
  virtual ~HR();
  HR(const HR&) = delete;
  HR& operator=(const HR&) = delete;

  // Counted reads in pieces of at most 14336 bytes (the package download).
  bool m_bUseMinReadBuffer;
  // Body bytes received so far by a counted read or the socket fetch; read by
  // the watching thread for progress.
  std::atomic<int> m_iCurrentlyReceived;
  // The body length to read in counted mode; 0 when the caller gives none.
  int m_iExpectedReceiveSize;
  // What a counted download holds of its body: with `resumable` set, a road
  // cut part-way leaves its bytes in the reply buffer and the next request
  // (the next road, or the first one with bytes a caller put there) asks
  // only for the rest.
  ksnet::RangeState m_oRange;

  // Tries the ways of reaching the server in turn; the reply lands in the
  // reply target. Holds the request lock throughout.
  bool SendRequest(const char* sURL, const char* sIP, int iPort, bool bSecure, const char* sVerb,
                   const char* sPostData);
  // One complete request with one access setting (type letter D, L, P, H, S).
  // The handles stay open until CloseHandles.
  bool DoRequest(const char* sURL, const char* sIP, int iPort, bool bSecure, const char* sVerb, char cPType,
                 const char* sByPass, const char* sPAddress, const char* sPostData);
  // Runs the proxy script at sWPADLocation (discovered first when empty; both
  // texts hold kTextSize bytes) and fills sProxyList with its answer, or an
  // empty text on any failure.
  void Detect(const char* sURL, const char* sIP, int iPort, char* sWPADLocation, char* sProxyList);
  // Remembers a setting that worked / forgets a remembered one that failed.
  void AddCache(const char* sIP, int iPort, bool bSecure, char cPType, const char* sByPass,
                const char* sProxyAddress);
  void RemoveCache(const char* sIP, int iPort, bool bSecure, char cPType, const char* sByPass,
                   const char* sProxyAddress);

  // Where a request's reply goes: `limit` bytes at `buffer`; a non-null
  // keyword (empty for no check) means a page is wanted and is read.
  void SetReplyTarget(char* buffer, int limit, const char* keyword);
  void ClearReplyTarget();
  int ReplyLength() const { return m_iReplyLength; }
  void CloseHandles();

  // The dialog that asks for credentials after a 401 or 407 (the system's
  // InternetErrorDlg); replaceable because it needs a user.
  typedef DWORD (*CredentialPrompt)(HINTERNET request);
  static CredentialPrompt SetCredentialPrompt(CredentialPrompt prompt);

  static constexpr size_t kTextSize = 4096;  // script location, proxy list

  // Process-wide, shared by every fetcher. bHTTPFailed is set once the plain
  // WinInet request failed and stays set.
  static std::atomic<bool> bHTTPFailed;
  static char m_sServerAccessSetting[ksnet::kServerAccessSettingSize];
  static std::atomic<bool> m_bServerAccessSettingLoaded;
  // Fetchers on other threads read and rewrite the remembered settings too
  // (the installation report runs beside the download): only under this.
  static std::mutex& ServerAccessSettingLock();
  // Back to the state of a new process (for tests).
  static void ResetSharedState();

  virtual bool SetOptionR(const char* sURL, const char* sIP, int iPort, bool bSecure, const char* sVerb,
                          const char* sByPass, const char* sProxyServer, const char* sPostData) = 0;
  virtual bool SetOptionA(const char* sURL, const char* sIP, int iPort, bool bSecure, const char* sVerb,
                          const char* sProxyList, const char* sPostData) = 0;

 protected:
  enum class ReadResult { kCountedDone, kSingleDone, kCountedFailed, kSingleFailed };
  // Reads the reply of `request` into the reply target.
  ReadResult ReadReply(HINTERNET request);
  ReadResult ReadCounted(HINTERNET request);
  ReadResult ReadSingle(HINTERNET request);
  // Counted reads start at 14336 bytes and grow only while reads complete
  // within a few milliseconds (see PieceSizer).
  static constexpr int kCountedPiece = 14336;
  static constexpr int kCountedPieceMax = 4 * 1024 * 1024;
  bool ReplyHasKeyword() const;
  bool CountedMode() const { return m_bUseMinReadBuffer && m_iExpectedReceiveSize > 0; }
  // Body bytes the reply buffer holds before a read: a resumable counted
  // download's, else none.
  int HeldBytes() const { return CountedMode() && m_oRange.resumable ? m_oRange.stored : 0; }
  // Adds the Range and If-Range lines to a request of a counted download
  // that holds part of its body; notes where the request starts.
  void AskForRest(HINTERNET request);
  // Judges the reply to such a request: *from gets where its body starts in
  // the reply buffer (0: taken whole), *validator the one its bytes will
  // hold. False when it cannot continue the bytes held (then nothing of it
  // is read).
  bool TakeRangeReply(HINTERNET request, int* from, std::string* validator);
  // Bytes a reply may fill: all of them in counted mode; otherwise one byte
  // stays zero so the reply is always a zero-ended text.
  int ReplyCapacity() const;

  char* m_sReturn;
  int m_iMaxLength;
  const char* m_sKeyInReturn;
  int m_iReplyLength;

  ks::UniqueInternet m_hInternet;
  ks::UniqueInternet m_hConnect;
  ks::UniqueInternet m_hRequest;

 private:
  bool TryRememberedSetting(const char* sURL, const char* sIP, int iPort, bool bSecure, const char* sVerb,
                            const char* sPostData);
  CRITICAL_SECTION m_oRequestLock;
};

class HLib : public HR {
 public:
  HLib();
  ~HLib() override;

  // Fetches sURL from sIP:iPort into sReturn (iMaxLength bytes, zero-filled
  // first). sKeyInReturn must occur in the reply unless empty. *piPortUsed
  // gets iPort, or 80 when the page came through the socket fetch for 443.
  bool GetPage(const char* sIP, int iPort, const char* sURL, int iMaxLength, const char* sKeyInReturn,
               char* sReturn, int* piPortUsed);

  // Direct, system configuration, then the connection's proxy server text.
  bool SetOptionR(const char* sURL, const char* sIP, int iPort, bool bSecure, const char* sVerb,
                  const char* sByPass, const char* sProxyServer, const char* sPostData) override;
  // Each entry of a proxy script's answer in turn.
  bool SetOptionA(const char* sURL, const char* sIP, int iPort, bool bSecure, const char* sVerb,
                  const char* sProxyList, const char* sPostData) override;

 private:
  bool PlainRequest(const char* sIP, int iPort, const char* sURL);
  bool SocketFetch(const char* sIP, int iPort, const char* sURL, int* port_used);
};
