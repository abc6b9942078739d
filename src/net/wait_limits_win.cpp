#include "net/wait_limits_win.h"

#include "base/system_api_win.h"
#include "net/receive_limit.h"

namespace ksnet {

void LimitWaits(HINTERNET request) {
  DWORD limit = static_cast<DWORD>(kReceiveLimitMs);
  const DWORD options[] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                           INTERNET_OPTION_SEND_TIMEOUT};
  for (DWORD option : options) ks::sys::InternetSetOptionA(request, option, &limit, sizeof limit);
}

}  // namespace ksnet
