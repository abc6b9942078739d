// Alone in its file so that a test program can compile this file again with
// KS_RECEIVE_LIMIT_MS set and link that copy instead.
#include "net/receive_limit.h"

#ifndef KS_RECEIVE_LIMIT_MS
#define KS_RECEIVE_LIMIT_MS 90000
#endif

namespace ksnet {

const int kReceiveLimitMs = KS_RECEIVE_LIMIT_MS;

}  // namespace ksnet
