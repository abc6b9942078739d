#include "setup/setup_downloader_win.h"

#include <new>

#include "base/log_api.h"
#include "net/hlib_win.h"

SetupDownloader::SetupDownloader()
    : m_iAccountServerPort(8889),
      m_iExpectedSize(0),
      m_iHeldBytes(0),
      m_bFinished(false),
      m_pPackage(nullptr),
      m_iPackageSize(0),
      m_iReceivedBytes(0),
      m_bSucceeded(false) {
  m_sAccountServerName[0] = '\0';
  m_sDownloadURL[0] = '\0';
}

SetupDownloader::~SetupDownloader() { delete[] m_pPackage; }

HLib& SetupDownloader::PackageFetcher() {
  // Never destroyed: a download thread may still be in it while the process
  // ends.
  static HLib* fetcher = new HLib();
  return *fetcher;
}

int SetupDownloader::CurrentlyReceived() { return PackageFetcher().m_iCurrentlyReceived.load(); }

bool SetupDownloader::AllocatePackage() {
  if (m_pPackage != nullptr && m_iPackageSize == m_iExpectedSize) return true;
  delete[] m_pPackage;
  m_iPackageSize = m_iExpectedSize;
  m_pPackage = m_iExpectedSize > 0 ? new (std::nothrow) unsigned char[static_cast<size_t>(m_iExpectedSize) + 1]
                                   : nullptr;
  if (m_pPackage != nullptr) return true;
  KS_LOG(0, "SetupDownloader::Run", "No memory for a package of %d bytes", m_iExpectedSize);
  return false;
}

bool SetupDownloader::Run() {
  const char* operation = "SetupDownloader::Run";
  HLib& fetcher = PackageFetcher();
  bool ok = false;
  ksnet::TakeRequestTrouble();
  if (AllocatePackage()) {
    fetcher.m_bUseMinReadBuffer = true;
    fetcher.m_iExpectedReceiveSize = m_iExpectedSize;
    // A road cut part-way leaves its bytes for the next road, and a part
    // kept by an earlier run is where the first road starts.
    fetcher.m_oRange = ksnet::RangeState();
    fetcher.m_oRange.resumable = true;
    fetcher.m_oRange.stored = m_iHeldBytes > 0 && m_iHeldBytes < m_iExpectedSize ? m_iHeldBytes : 0;
    fetcher.m_oRange.validator = m_sHeldValidator;
    fetcher.m_iCurrentlyReceived = fetcher.m_oRange.stored;
    int port_used = 0;
    ok = fetcher.GetPage(m_sAccountServerName, m_iAccountServerPort, m_sDownloadURL, m_iExpectedSize, "",
                         reinterpret_cast<char*>(m_pPackage), &port_used);
    if (ok) {
      KS_LOG(0, operation,
             "GetPagef succeeded: m_sAccountServerName = %s, m_iAccountServerPort = %d, sTempURL = %s, "
             "m_iCurrentlyReceived = %d, m_iExpectedReceiveSize = %d",
             m_sAccountServerName, m_iAccountServerPort, m_sDownloadURL, fetcher.m_iCurrentlyReceived.load(),
             fetcher.m_iExpectedReceiveSize);
    } else {
      KS_LOG(0, operation, "GetPagef failed: m_sAccountServerName = %s, m_iAccountServerPort = %d, sTempURL = %s",
             m_sAccountServerName, m_iAccountServerPort, m_sDownloadURL);
    }
  }
  m_iReceivedBytes = m_pPackage != nullptr ? fetcher.m_iCurrentlyReceived.load() : 0;
  m_iHeldBytes = m_pPackage != nullptr ? fetcher.m_oRange.stored : 0;
  m_sHeldValidator = fetcher.m_oRange.validator;
  fetcher.m_oRange = ksnet::RangeState();
  m_bSucceeded = ok;
  m_oRequestTrouble = ksnet::TakeRequestTrouble();
  // Everything above happens-before an owner that reads the flag as true.
  m_bFinished.store(true, std::memory_order_release);
  return ok;
}
