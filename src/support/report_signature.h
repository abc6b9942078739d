#pragma once
// What an error report says went wrong, in a form that groups alike reports:
// its signature. A failure report's is its outcome and cause as kstool
// explain names them ("failed: server-unreachable"); a crash's is its
// exception and the first frames of the crashing stack in our own code.
#include <cstdint>
#include <string>
#include <vector>

#include "support/minidump_reader.h"
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

// The frame of an address in the dump's modules.
SignatureFrame FrameAt(const MinidumpSummary& dump, uint64_t address, const std::string& starter_file);

// The signature of a report that reads. A crash takes the first
// kSignatureFrames frames of `stack` (the crashing thread's, innermost
// first, as FrameAt names them) in the starter's own module, or, without a
// stack or without one of those, the frame of the exception address. A report without a dump is a failure: its error text
// names the cause, or else its log's last run does.
ReportSignature SignatureOf(const ErrorReportContents& report, const std::vector<SignatureFrame>& stack);

// "failed: <cause>" when the report's error text is a cause's name (as the
// starter posts it), else "".
std::string NamedFailure(const ErrorReportFacts& facts);
