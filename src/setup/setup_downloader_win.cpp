#include "setup/setup_downloader_win.h"

// Placeholder until the client download is built: the download ends at once
// with nothing received.
SetupDownloader::SetupDownloader()
    : m_iAccountServerPort(8889), m_iExpectedSize(0), m_bFinished(false), m_pPackage(nullptr), m_iReceivedBytes(0) {
  m_sAccountServerName[0] = '\0';
  m_sDownloadURL[0] = '\0';
}

SetupDownloader::~SetupDownloader() { delete[] m_pPackage; }

bool SetupDownloader::Run() {
  m_bFinished.store(true, std::memory_order_release);
  return false;
}
