#pragma once
// Reads an error report back as the report server receives it: the POST
// body ("error=" and the URL-encoded text) or the report text itself. Every
// attachment is decoded and inflated and must agree with the report's own
// size fields and summary lines; anything else is refused with a reason.
#include <string>

#include "crash/error_report_text.h"

struct ErrorReportContents {
  ErrorReportFacts facts;  // as sent; the attachments' Base64 included
  // The attachments inflated. The log and the cache lose the zero byte the
  // report adds behind them, so they are the files as they were read.
  std::string log;
  std::string cache;
  std::string dump;
};

// Whether the content is meant as an error report (text or POST body) rather
// than something else; says nothing about whether it is whole.
bool LooksLikeErrorReport(const std::string& content);

// False with a one-line reason in `error` when the report is cut, its layout
// or Base64 is wrong, or an attachment does not inflate to its size field.
bool ReadErrorReport(const std::string& content, ErrorReportContents& report, std::string& error);
