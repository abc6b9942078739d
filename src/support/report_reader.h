#pragma once
// Reads an error report back as the report server receives it: the POST
// body ("error=" and the URL-encoded text) or the report text itself. Every
// attachment is decoded and inflated and must agree with the report's own
// size fields and summary lines. A report whose layout does not read is
// refused with a reason; an attachment that does not read is named, and the
// others are still given back.
//
// Anyone can post a report, so what one may cost is bounded whatever it
// holds: its own size, and what its attachments inflate to.
#include <cstddef>
#include <string>

#include "crash/error_report_text.h"

// The largest report read (a real one is a few MiB: its dump compressed).
const size_t kLargestReport = 8u << 20;

// The most each attachment may inflate to. A starter's log is turned over
// at about 1 MB, its cache file is read within 1 MiB; a dump of the starter
// is a few MiB.
const size_t kLargestLogAttachment = 2u << 20;
const size_t kLargestCacheAttachment = 2u << 20;
const size_t kLargestDumpAttachment = 24u << 20;

struct ErrorReportContents {
  ErrorReportFacts facts;  // as sent; the attachments' Base64 included
  // The attachments inflated. The log and the cache lose the zero byte the
  // report adds behind them, so they are the files as they were read.
  std::string log;
  std::string cache;
  std::string dump;
  // Why an attachment does not read, or "" (its bytes are then empty).
  std::string log_problem;
  std::string cache_problem;
  std::string dump_problem;
};

// Whether the content is meant as an error report (text or POST body) rather
// than something else; says nothing about whether it is whole.
bool LooksLikeErrorReport(const std::string& content);

// False with a one-line reason in `error` when the report is larger than
// kLargestReport, cut, or its layout, summary lines or size fields disagree. An
// attachment whose Base64 is wrong, that does not inflate to its size field
// or would inflate past its bound leaves its problem in the contents.
bool ReadErrorReport(const std::string& content, ErrorReportContents& report, std::string& error);

// The same, leaving every attachment to InflateAttachment: for a reader that
// needs few of them (its fields are checked all the same).
bool ReadErrorReportLayout(const std::string& content, ErrorReportContents& report, std::string& error);

enum class ReportPart { kLog, kCache, kDump };

// Inflates one attachment of a report that ReadErrorReportLayout read, into
// its bytes or its problem.
void InflateAttachment(ErrorReportContents& report, ReportPart part);
