// bench_net_getpage <host> <port> <path> <size> [rounds] [--socket]
// Downloads <size> bytes of <path> in counted mode through HLib::GetPage, the
// way the package download does, in one process. --socket measures the
// socket fetch alone. Prints two rates in MB/s (10^6 bytes per second): the
// first round's (a freshly allocated buffer, as in a real run) and the
// median round's (the buffer's pages already mapped from the second round on).
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/clock_win.h"
#include "net/hlib_win.h"
#include "net/url_download_win.h"
#include "net/url_parts.h"

int main(int argc, char** argv) {
  if (argc < 5) {
    fprintf(stderr, "usage: bench_net_getpage <host> <port> <path> <size> [rounds] [--socket]\n");
    return 2;
  }
  const char* host = argv[1];
  int port = atoi(argv[2]);
  const char* path = argv[3];
  int size = atoi(argv[4]);
  int rounds = argc > 5 ? atoi(argv[5]) : 3;
  bool socket_only = argc > 6 && std::string(argv[6]) == "--socket";
  if (size <= 0 || rounds <= 0) return 2;

  WSADATA wsa;
  WSAStartup(MAKEWORD(1, 1), &wsa);
  std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(size) + 1]);
  std::vector<double> rates;
  for (int round = 0; round < rounds; ++round) {
    HLib download;
    download.m_bUseMinReadBuffer = true;
    download.m_iExpectedReceiveSize = size;
    double start = ks::SecondsNow();
    bool ok;
    int received;
    if (socket_only) {
      std::unique_ptr<char[]> body;
      int body_size = 0;
      std::string url = ksnet::SocketFetchURL(host, port, path, nullptr);
      ok = Utility::URLDownload(url.c_str(), size, true, &body, &body_size, &download.m_iCurrentlyReceived);
      received = download.m_iCurrentlyReceived;
    } else {
      int port_used = 0;
      ok = download.GetPage(host, port, path, size, "", buffer.get(), &port_used);
      received = download.m_iCurrentlyReceived;
    }
    double elapsed = ks::SecondsNow() - start;
    if (!ok || received != size) {
      fprintf(stderr, "download failed: received %d of %d bytes\n", received, size);
      return 1;
    }
    double rate = size / elapsed / 1e6;
    fprintf(stderr, "round %d: %.3f s, %.1f MB/s\n", round + 1, elapsed, rate);
    rates.push_back(rate);
  }
  double first = rates[0];
  std::sort(rates.begin(), rates.end());
  size_t n = rates.size();
  double median = n % 2 ? rates[n / 2] : (rates[n / 2 - 1] + rates[n / 2]) / 2;
  printf("%.1f %.1f\n", first, median);
  return 0;
}
