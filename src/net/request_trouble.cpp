#include "net/request_trouble.h"

namespace ksnet {
namespace {

// Per thread: the installation report may fetch beside the size request.
thread_local RequestTrouble t_trouble;

const int kInternetTimeout = 12002;          // ERROR_INTERNET_TIMEOUT
const int kConnectionAborted = 12030;        // ERROR_INTERNET_CONNECTION_ABORTED
const int kConnectionReset = 12031;          // ERROR_INTERNET_CONNECTION_RESET
const int kInvalidServerResponse = 12152;    // ERROR_HTTP_INVALID_SERVER_RESPONSE
const int kSocketConnectionAborted = 10053;  // WSAECONNABORTED
const int kSocketConnectionReset = 10054;    // WSAECONNRESET
const int kSocketTimedOut = 10060;           // WSAETIMEDOUT

}  // namespace

void NoteServerReached() { t_trouble.reached = true; }
void NoteCredentialsAsked() { t_trouble.credentials_asked = true; }

void NoteRequestError(int code) {
  switch (code) {
    case kInternetTimeout:
    case kSocketTimedOut:
      t_trouble.timed_out = true;
      break;
    // These come only from a connection that was made.
    case kConnectionAborted:
    case kConnectionReset:
    case kInvalidServerResponse:
    case kSocketConnectionAborted:
    case kSocketConnectionReset:
      t_trouble.reached = true;
      break;
    default:
      break;
  }
}

RequestTrouble TakeRequestTrouble() {
  RequestTrouble taken = t_trouble;
  t_trouble = RequestTrouble();
  return taken;
}

// Credentials first: a proxy that refused them is also what left every
// other road without an answer.
ks::FailureCause SizeRequestCause(const RequestTrouble& trouble, bool replied) {
  if (trouble.credentials_asked) return ks::FailureCause::kProxyRefused;
  if (!replied && trouble.timed_out) return ks::FailureCause::kNoAnswer;
  if (!replied && !trouble.reached) return ks::FailureCause::kServerUnreachable;
  return ks::FailureCause::kBadSize;
}

ks::FailureCause PackageDownloadCause(const RequestTrouble& trouble) {
  if (trouble.credentials_asked) return ks::FailureCause::kProxyRefused;
  if (trouble.timed_out) return ks::FailureCause::kNoAnswer;
  return ks::FailureCause::kIncompleteDownload;
}

}  // namespace ksnet
