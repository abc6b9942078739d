#pragma once
// The package download thread: fetches the client package into memory while
// the setup worker watches its received-byte counter.
#include <atomic>

#include "base/my_thread_win.h"

class SetupDownloader : public MyThread {
 public:
  SetupDownloader();
  ~SetupDownloader() override;

  bool Run() override;

  char m_sAccountServerName[512];
  int m_iAccountServerPort;
  int m_iExpectedSize;
  std::atomic<bool> m_bFinished;  // published with release, read with acquire
  unsigned char* m_pPackage;      // expected size + 1 bytes after Run
  char m_sDownloadURL[512];
  int m_iReceivedBytes;           // package bytes received, final once finished

  // The received count that the package processing writes out.
  int ReceivedBytes() const { return m_iReceivedBytes; }
};
