// Proxy discovery on its own: asks the proxy script at the URL given as
// argument which proxies reach a server, and prints the answer. Under Wine a
// whole starter run never gets to the script (Wine reports no script location
// and no automatic detection), so the planted-library runs start this from a
// folder of planted libraries instead. It leaves out the starter's start-up
// restriction of the library search, as a Windows without it would: the
// loads themselves must keep to the system folder.
#include <winsock2.h>

#include <cstdio>

#include "base/text.h"
#include "net/hlib_win.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fputs("usage: ks_detect_probe <script URL>\n", stderr);
    return 2;
  }
  WSADATA wsa_data;
  WSAStartup(MAKEWORD(1, 1), &wsa_data);
  char location[HR::kTextSize];
  char proxies[HR::kTextSize] = "";
  if (!ks::CopyText(location, sizeof location, argv[1])) return 2;
  HLib lib;
  lib.Detect("/as/wapi/get_client_size", "as.test", 8889, location, proxies);
  printf("%s\n", proxies);
  return proxies[0] != '\0' ? 0 : 1;
}
