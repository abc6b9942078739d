#pragma once
// Where error reports go: the maker's error-report server. The built-in
// values can be replaced at build time (cmake/ErrorReport.cmake), for an
// operator's own server or a local server in tests.

// Host name, resolved at report time.
const char* ErrorReportHost();
// Address used when the host name cannot be resolved.
const char* ErrorReportAddress();
unsigned short ErrorReportPort();
