#pragma once
// The stamped setting by which an operator asks a starter copy to report the
// runs that end on a failure road: <__ReportFailures__>Y</__ReportFailures__>.
// Off unless the field holds exactly "Y".

bool AsksForFailureReports(const char* settings_text);
