#include "crash/error_report_text.h"

#include <vector>

#include "base/codec.h"
#include "base/tag_field.h"
#include "base/text.h"
#include "crash/compress_buffer.h"

ReportAttachment MakeAttachment(const unsigned char* bytes, size_t size, size_t extra_room) {
  ReportAttachment attachment;
  attachment.present = true;
  attachment.original_size = size;
  std::vector<unsigned char> compressed(size + extra_room);
  attachment.compressed_size = CompressBuffer(bytes, size, compressed.data(), compressed.size());
  if (attachment.compressed_size != 0)
    Utility::Base64Encode(compressed.data(), attachment.compressed_size, attachment.base64, true);
  return attachment;
}

ReportAttachment MakeTextAttachment(const std::string& text) {
  // c_str() gives the text with its zero byte: size() + 1 bytes.
  return MakeAttachment(reinterpret_cast<const unsigned char*>(text.c_str()), text.size() + 1,
                        kTextAttachmentRoom);
}

ReportAttachment MakeDumpAttachment(const std::string& bytes) {
  return MakeAttachment(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), kDumpAttachmentRoom);
}

std::string AttachmentSummary(const char* label, const ReportAttachment& attachment) {
  if (!attachment.present) return std::string();
  return ks::Format("%s: original size = %llu, compressed size = %llu, base64-encoded size = %llu", label,
                    static_cast<unsigned long long>(attachment.original_size),
                    static_cast<unsigned long long>(attachment.compressed_size),
                    static_cast<unsigned long long>(attachment.base64.size()));
}

std::string RemoveCachePassword(const std::string& cache_text) {
  std::string cleaned;
  if (Utility::ReplaceTagValue(cache_text, "", "<__GUI_PASSWORD__>", "</__GUI_PASSWORD__>", cleaned))
    return cleaned;
  return cache_text;
}

namespace {

void AppendSized(std::string& text, const char* size_tag, const char* data_tag, const ReportAttachment& attachment) {
  text += ks::Format("\n<___%s___>%llu</___%s___>", size_tag,
                     static_cast<unsigned long long>(attachment.original_size), size_tag);
  text += ks::Format("\n<___%s___>", data_tag);
  text += attachment.base64;
  text += ks::Format("</___%s___>", data_tag);
}

}  // namespace

std::string BuildErrorReportText(const ErrorReportFacts& facts) {
  std::string text;
  text.reserve(1024 + facts.log.base64.size() + facts.cache.base64.size() + facts.dump.base64.size());
  text += "Kestrelon sCurrentFile = ";
  text += facts.current_file;
  text += "\nsCurrentDirectory = ";
  text += facts.current_directory;
  text += "\n";
  text += "\n\nVersion: ";
  text += facts.version;
  text += "\nComputer Name: ";
  text += facts.computer_name;
  text += "\nComputer IP: ";
  text += facts.computer_address;
  text += "\nOS: ";
  text += facts.os_description;
  text += "\nIE: ";
  text += facts.ie_version;
  text += "\nIE Minor: ";
  text += facts.ie_minor_version;
  text += "\nIE Build: ";
  text += facts.ie_build;
  text += ks::Format("\nGetLastError() returns: %lu", facts.last_error);
  text += "\nError: ";
  text += facts.last_error_text;
  text += "\n";
  text += AttachmentSummary("Log", facts.log);
  text += "\n";
  text += AttachmentSummary("Cache", facts.cache);
  text += "\n";
  text += AttachmentSummary("dump", facts.dump);
  AppendSized(text, "LOGFILESIZE", "LOGFILE", facts.log);
  AppendSized(text, "CACHEFILESIZE", "CACHEFILE", facts.cache);
  AppendSized(text, "DUMPFILESIZE", "DUMPFILE", facts.dump);
  text += "&&xyz\n";
  return text;
}

std::string BuildErrorReportBody(const std::string& report_text) {
  // URLEncode stops at a zero byte; a stray one inside a collected value must
  // not cut off the attachments behind it, so it is encoded piece by piece.
  std::string body = "error=";
  size_t start = 0;
  for (;;) {
    size_t zero = report_text.find('\0', start);
    body += Utility::URLEncode(report_text.substr(start, zero - start).c_str());
    if (zero == std::string::npos) break;
    body += "%00";
    start = zero + 1;
  }
  return body;
}
