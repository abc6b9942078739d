#pragma once
// The package download thread: fetches the client package into memory while
// the setup worker watches its received-byte counter.
#include <atomic>
#include <string>

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

  // The package buffer for m_iExpectedSize bytes; false (logged) without
  // memory. The owner calls it before the thread starts to put a kept part
  // in; the thread calls it when the owner did not.
  bool AllocatePackage();
  // Bytes of the package the buffer holds from the first on, and the
  // validator of the reply they came with: before the thread starts, a part
  // kept by an earlier run (the fetch then asks only for the rest); once it
  // has finished, what the fetch holds, for the owner to keep when the
  // download ended incomplete.
  int m_iHeldBytes;
  std::string m_sHeldValidator;

  // Set by the thread; read by the owner once m_bFinished reads true.
  std::atomic<bool> m_bFinished;  // published with release, read with acquire
  unsigned char* m_pPackage;      // expected size + 1 bytes
  int m_iPackageSize;             // the expected size m_pPackage was made for
  int m_iReceivedBytes;           // package bytes received, final once finished
  bool m_bSucceeded;              // the fetch itself reported the package whole
  ksnet::RequestTrouble m_oRequestTrouble;  // what the fetch met on its way

  // The received count that the package processing writes out.
  int ReceivedBytes() const { return m_iReceivedBytes; }
};
