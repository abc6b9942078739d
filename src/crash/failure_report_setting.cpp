#include "crash/failure_report_setting.h"

#include <string>

#include "base/tag_field.h"

bool AsksForFailureReports(const char* settings_text) {
  std::string value;
  return settings_text != nullptr &&
         Utility::GetTagValue(settings_text, "<__ReportFailures__>", "</__ReportFailures__>", value) && value == "Y";
}
