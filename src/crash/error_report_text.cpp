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
  return ks::Format("%s%s%llu%s%llu%s%llu", label, kSummaryOriginalSize,
                    static_cast<unsigned long long>(attachment.original_size), kSummaryCompressedSize,
                    static_cast<unsigned long long>(attachment.compressed_size), kSummaryBase64Size,
                    static_cast<unsigned long long>(attachment.base64.size()));
}

std::string RemoveCachePassword(const std::string& cache_text) {
  std::string cleaned;
  if (Utility::ReplaceTagValue(cache_text, "", "<__GUI_PASSWORD__>", "</__GUI_PASSWORD__>", cleaned))
    return cleaned;
  return cache_text;
}

std::string ReportOpeningTag(const char* name) { return ks::Format("<___%s___>", name); }
std::string ReportClosingTag(const char* name) { return ks::Format("</___%s___>", name); }

std::string BuildErrorReportText(const ErrorReportFacts& facts) {
  std::string text;
  text.reserve(1024 + facts.log.base64.size() + facts.cache.base64.size() + facts.dump.base64.size());
  for (const ReportHeadField& field : kReportHead) {
    text += field.label;
    text += facts.*field.value;
  }
  text += ks::Format("%s%lu", kReportLastErrorLabel, facts.last_error);
  text += kReportErrorTextLabel;
  text += facts.last_error_text;
  for (const ReportAttachmentField& field : kReportAttachments) {
    text += "\n";
    text += AttachmentSummary(field.label, facts.*field.attachment);
  }
  for (const ReportAttachmentField& field : kReportAttachments) {
    const ReportAttachment& attachment = facts.*field.attachment;
    text += "\n" + ReportOpeningTag(field.size_tag);
    text += ks::Format("%llu", static_cast<unsigned long long>(attachment.original_size));
    text += ReportClosingTag(field.size_tag);
    text += "\n" + ReportOpeningTag(field.data_tag);
    text += attachment.base64;
    text += ReportClosingTag(field.data_tag);
  }
  text += kReportEnd;
  return text;
}

std::string BuildErrorReportBody(const std::string& report_text) {
  // URLEncode stops at a zero byte; a stray one inside a collected value must
  // not cut off the attachments behind it, so it is encoded piece by piece.
  std::string body = kReportPostField;
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
