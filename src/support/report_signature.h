#pragma once
// What an error report says went wrong, in a form that groups alike reports:
// its signature. A failure report's is its outcome and cause as kstool
// explain names them ("failed: server-unreachable"); a crash's is its
// exception and the first frames of the crashing stack in our own code.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/minidump_reader.h"
#include "support/pe_image.h"
#include "support/report_reader.h"

// One frame of a crash: the module's file name (the program that sent the
// report is named "starter": stamped copies carry other file names) and the
// offset in it, or the function there when symbols name it.
struct SignatureFrame {
  std::string module;
  uint64_t offset = 0;
  std::string function;
  std::string Text() const;  // "starter+0x3D2A6", or "starter!Function"
};

// The frames a crash signature takes, at most.
const size_t kSignatureFrames = 3;

struct ReportSignature {
  bool crash = false;
  std::string outcome;  // "failed: <cause>", or a crash's exception: "0xC0000005 EXCEPTION_ACCESS_VIOLATION"
  std::vector<SignatureFrame> frames;  // a crash's, innermost first
  // One line that is the same for alike reports.
  std::string Key() const;
};

// The builds at hand of a dump's modules (kstool triage --symbols DIR).
typedef std::function<std::vector<const kssupport::PeImage*>(const std::vector<MinidumpModule>&)> BuildsOf;

// The signature of a report that reads. A crash's stack is walked with the
// builds `builds_of` gives (none when it is empty), and the signature takes
// its first kSignatureFrames frames in the starter's own module that the
// walk is sure of: the crash site, frames found by unwind tables, and
// frames found by scanning that land in a given build just after a call.
// Without one of those it takes the module and offset of the exception
// address. A report without a dump is a failure: its error text names the
// cause as the starter posts it, or else its log's last run does.
ReportSignature SignatureOf(const ErrorReportContents& report, const BuildsOf& builds_of);

// "failed: <cause>" when the report's error text is a cause's name (as the
// starter posts it), else "".
std::string NamedFailure(const ErrorReportFacts& facts);
