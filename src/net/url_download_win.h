#pragma once
// The direct socket fetch: one plain HTTP/1.0 GET over a TCP connection, no
// proxy, no TLS (https and port 443 are fetched as plain HTTP on port 80).
// Needs the socket library started.
#include <atomic>
#include <memory>

#include "net/range_reply.h"

namespace Utility {

// Fetches `url`. `expected_size` 0 takes the length from Content-Length.
// `small_reads` receives in 14336-byte pieces instead of 65536. On success
// *body holds *body_size bytes (one spare byte after them) or nothing when
// the length is 0 or less; a peer closing early fails with the partial body
// handed over. `received` (may be null) counts body bytes as they arrive.
// A body of known length that fits `room` (room_size bytes the caller holds,
// may be null) is received straight into it instead, leaving *body empty.
// `range` (may be null): what `room` holds of the body; when it holds a part
// guarded by a validator, only the rest is asked for (see ReceiveReply).
bool URLDownload(const char* url, int expected_size, bool small_reads, std::unique_ptr<char[]>* body,
                 int* body_size, std::atomic<int>* received, char* room = nullptr, size_t room_size = 0,
                 ksnet::RangeState* range = nullptr);

}  // namespace Utility
