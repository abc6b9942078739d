#pragma once
// Why a run of the starter ended short, by the names the support desk uses:
// a failure report carries one, and the explanation of a log arrives at the
// same names from the log's lines.
#include <string>

namespace ks {

enum class FailureCause {
  kNone,
  kServerUnreachable,   // no road reached the account server
  kNoAnswer,            // a request was given up at its receive limit
  kProxyRefused,        // a proxy (or the server) asked for credentials
  kBadSize,             // the size reply named no size
  kIncompleteDownload,  // the package came short
  kPackageRefused,      // the package or a program in it is not the publisher's
  kDisk,                // the package or the setup folder could not be written
  kLinkUnreadable,      // the link or parameters cannot be read or passed on
  kInterrupted          // the run was cut off: a thread could not start, the window closed
};
// The causes run from kServerUnreachable to this one.
const FailureCause kLastFailureCause = FailureCause::kInterrupted;

// "server-unreachable" and so on; "" for kNone.
inline const char* FailureCauseName(FailureCause cause) {
  switch (cause) {
    case FailureCause::kServerUnreachable: return "server-unreachable";
    case FailureCause::kNoAnswer: return "no-answer";
    case FailureCause::kProxyRefused: return "proxy-refused";
    case FailureCause::kBadSize: return "bad-size";
    case FailureCause::kIncompleteDownload: return "incomplete-download";
    case FailureCause::kPackageRefused: return "package-refused";
    case FailureCause::kDisk: return "disk";
    case FailureCause::kLinkUnreadable: return "link-unreadable";
    case FailureCause::kInterrupted: return "interrupted";
    case FailureCause::kNone: break;
  }
  return "";
}

// The cause named `name`, or kNone.
inline FailureCause FailureCauseNamed(const std::string& name) {
  for (int i = static_cast<int>(FailureCause::kServerUnreachable); i <= static_cast<int>(kLastFailureCause); ++i)
    if (name == FailureCauseName(static_cast<FailureCause>(i))) return static_cast<FailureCause>(i);
  return FailureCause::kNone;
}

}  // namespace ks
