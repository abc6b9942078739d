#pragma once
// The package download thread: fetches the client package into memory while
// the setup worker watches its received-byte counter.
#include <atomic>

#include "base/my_thread_win.h"
#include "net/request_trouble.h"

class HLib;

class SetupDownloader : public MyThread {
 public:
  SetupDownloader();
  ~SetupDownloader() override;

  bool Run() override;

  // The one fetcher of the package download; its m_iCurrentlyReceived is the
  // count the watcher shows while the download runs.
  static HLib& PackageFetcher();
  // Bytes received so far (live while the download runs).
  static int CurrentlyReceived();

  // Set by the owner before the thread starts.
  char m_sAccountServerName[512];
  int m_iAccountServerPort;
  int m_iExpectedSize;
  char m_sDownloadURL[512];

  // Set by the thread; read by the owner once m_bFinished reads true.
  std::atomic<bool> m_bFinished;  // published with release, read with acquire
  unsigned char* m_pPackage;      // expected size + 1 bytes
  int m_iReceivedBytes;           // package bytes received, final once finished
  bool m_bSucceeded;              // the fetch itself reported the package whole
  ksnet::RequestTrouble m_oRequestTrouble;  // what the fetch met on its way

  // The received count that the package processing writes out.
  int ReceivedBytes() const { return m_iReceivedBytes; }
};
