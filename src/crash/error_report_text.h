#pragma once
// The error report's text: facts about the machine and the starter, then the
// log, the access cache and the minidump, each zlib-compressed and Base64
// encoded. Building it is pure so the exact layout the report server parses
// is checked without a crash.
#include <cstddef>
#include <string>

// One attachment as it travels in the report.
struct ReportAttachment {
  bool present = false;        // its file could be opened: a summary line is sent
  size_t original_size = 0;    // bytes given to the compressor
  size_t compressed_size = 0;  // 0 when the compressed form did not fit its room
  std::string base64;          // compressed bytes, a line feed every 76 characters
};

// Room beyond the uncompressed size that the compressed form may take.
const size_t kTextAttachmentRoom = 512;
const size_t kDumpAttachmentRoom = 1000;

// Compresses `size` bytes into at most size + extra_room bytes and encodes
// them. The attachment is present.
ReportAttachment MakeAttachment(const unsigned char* bytes, size_t size, size_t extra_room);

// Log and cache texts travel with their terminating zero byte.
ReportAttachment MakeTextAttachment(const std::string& text);
ReportAttachment MakeDumpAttachment(const std::string& bytes);

// "<label>: original size = %d, compressed size = %d, base64-encoded size = %d",
// or "" for an attachment whose file could not be opened.
std::string AttachmentSummary(const char* label, const ReportAttachment& attachment);
const char kSummaryOriginalSize[] = ": original size = ";
const char kSummaryCompressedSize[] = ", compressed size = ";
const char kSummaryBase64Size[] = ", base64-encoded size = ";

// Deletes the value of the <__GUI_PASSWORD__> field, keeping both tags; a text
// without a well-formed field is returned unchanged.
std::string RemoveCachePassword(const std::string& cache_text);

struct ErrorReportFacts {
  std::string current_file;       // the running starter's file name
  std::string current_directory;  // its folder, no trailing backslash
  std::string version;
  std::string computer_name;
  std::string computer_address;
  std::string os_description;
  std::string ie_version;
  std::string ie_minor_version;
  std::string ie_build;
  unsigned long last_error = 0;
  std::string last_error_text;  // the system's text, its own line break kept
  ReportAttachment log;
  ReportAttachment cache;
  ReportAttachment dump;
};

// The report's fixed texts, shared with the code that reads a report back.
// Its head: each label followed by its value, in this order.
struct ReportHeadField {
  const char* label;
  std::string ErrorReportFacts::*value;
};
const ReportHeadField kReportHead[] = {
    {"Kestrelon sCurrentFile = ", &ErrorReportFacts::current_file},
    {"\nsCurrentDirectory = ", &ErrorReportFacts::current_directory},
    {"\n\n\nVersion: ", &ErrorReportFacts::version},
    {"\nComputer Name: ", &ErrorReportFacts::computer_name},
    {"\nComputer IP: ", &ErrorReportFacts::computer_address},
    {"\nOS: ", &ErrorReportFacts::os_description},
    {"\nIE: ", &ErrorReportFacts::ie_version},
    {"\nIE Minor: ", &ErrorReportFacts::ie_minor_version},
    {"\nIE Build: ", &ErrorReportFacts::ie_build},
};
// Then these two, each before its value.
const char kReportLastErrorLabel[] = "\nGetLastError() returns: ";
const char kReportErrorTextLabel[] = "\nError: ";

// Then a line feed and a summary line for each attachment, in this order, and
// again in this order its two tagged fields, such as
// "\n<___LOGFILESIZE___>11</___LOGFILESIZE___>\n<___LOGFILE___>eJ...</___LOGFILE___>".
struct ReportAttachmentField {
  const char* label;     // of its summary line
  const char* size_tag;  // of the field with its original size
  const char* data_tag;  // of the field with its Base64
  ReportAttachment ErrorReportFacts::*attachment;
};
const ReportAttachmentField kReportAttachments[] = {
    {"Log", "LOGFILESIZE", "LOGFILE", &ErrorReportFacts::log},
    {"Cache", "CACHEFILESIZE", "CACHEFILE", &ErrorReportFacts::cache},
    {"dump", "DUMPFILESIZE", "DUMPFILE", &ErrorReportFacts::dump},
};
// "<___NAME___>" and "</___NAME___>".
std::string ReportOpeningTag(const char* name);
std::string ReportClosingTag(const char* name);

// Right after the last attachment's closing tag.
const char kReportEnd[] = "&&xyz\n";
// The POST body's one field, before the URL-encoded text.
const char kReportPostField[] = "error=";

// The report text in the order the report server expects, ending "&&xyz\n".
std::string BuildErrorReportText(const ErrorReportFacts& facts);

// The POST body: "error=" and the URL-encoded report text.
std::string BuildErrorReportBody(const std::string& report_text);
