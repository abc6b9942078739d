#pragma once
// What the requests of one thread met on their way, so the step that made
// them can say why it failed: whether any road reached a server, whether a
// wait ran out, whether credentials were asked for. The fetchers note it as
// it happens; the step takes it after its request.
#include "base/failure_cause.h"

namespace ksnet {

struct RequestTrouble {
  bool reached = false;            // a server or proxy answered on some road
  bool timed_out = false;          // a connection, send or receive was given up at its limit
  bool credentials_asked = false;  // a 401 or 407 came back
};

void NoteServerReached();
void NoteCredentialsAsked();
// A WinInet, Winsock or system error code a request failed with.
void NoteRequestError(int code);

// What this thread's requests met since it last asked; starts afresh.
RequestTrouble TakeRequestTrouble();

// Why the package size could not be had; `replied` when some reply came.
ks::FailureCause SizeRequestCause(const RequestTrouble& trouble, bool replied);
// Why the package came short.
ks::FailureCause PackageDownloadCause(const RequestTrouble& trouble);

}  // namespace ksnet
