#include "crash/error_report_server.h"

// The one place that names the error-report server. Keep this file free of
// anything else: a program may link its own build of it in place of this one.
#ifndef KS_ERROR_REPORT_HOST
#define KS_ERROR_REPORT_HOST "crashreport.bootwick.example"
#endif
#ifndef KS_ERROR_REPORT_ADDRESS
#define KS_ERROR_REPORT_ADDRESS "198.51.100.80"
#endif
#ifndef KS_ERROR_REPORT_PORT
#define KS_ERROR_REPORT_PORT 80
#endif

const char* ErrorReportHost() { return KS_ERROR_REPORT_HOST; }
const char* ErrorReportAddress() { return KS_ERROR_REPORT_ADDRESS; }
unsigned short ErrorReportPort() { return static_cast<unsigned short>(KS_ERROR_REPORT_PORT); }
