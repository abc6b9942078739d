#include "support/report_reader.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "base/codec.h"
#include "base/text.h"

namespace {

// zlib cannot inflate more than about 1032 bytes from one compressed byte;
// a size field beyond that is a lie.
const unsigned long long kInflateRatio = 1032;

// How each of kReportAttachments is given back.
struct Attachment {
  const ReportAttachmentField* field;
  const char* name;  // for messages
  bool text;         // sent with a zero byte behind it
  size_t largest;    // the most it may inflate to
  std::string ErrorReportContents::*bytes;
  std::string ErrorReportContents::*problem;
};
const Attachment kAttachments[] = {
    {&kReportAttachments[0], "log", true, kLargestLogAttachment + 1, &ErrorReportContents::log,
     &ErrorReportContents::log_problem},
    {&kReportAttachments[1], "cache", true, kLargestCacheAttachment + 1, &ErrorReportContents::cache,
     &ErrorReportContents::cache_problem},
    {&kReportAttachments[2], "dump", false, kLargestDumpAttachment, &ErrorReportContents::dump,
     &ErrorReportContents::dump_problem},
};

// Whether `base64` is exactly what the report's encoder makes of `bytes`,
// checked a piece at a time rather than with a second copy of it whole.
bool IsCanonicalBase64(const std::string& base64, const unsigned char* bytes, size_t count) {
  const size_t kLine = 57;  // bytes per encoded line of 76 characters
  const size_t kPiece = kLine * 1024;
  std::string piece;
  size_t pos = 0;
  for (size_t done = 0; done < count; done += kPiece) {
    Utility::Base64Encode(bytes + done, count - done < kPiece ? count - done : kPiece, piece, true);
    if (done > 0 && (pos >= base64.size() || base64[pos++] != '\n')) return false;
    if (base64.compare(pos, piece.size(), piece) != 0) return false;
    pos += piece.size();
  }
  return pos == base64.size();
}

bool ReadNumber(const std::string& text, unsigned long long& value) {
  // Digits as the report writes them: no sign, no leading zero.
  if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos ||
      (text[0] == '0' && text.size() > 1))
    return false;
  value = strtoull(text.c_str(), nullptr, 10);
  return true;
}

// "<label>: original size = A, compressed size = B, base64-encoded size = C"
bool ReadSummary(const std::string& line, const Attachment& which, ReportAttachment& attachment,
                 unsigned long long& base64_size) {
  attachment = ReportAttachment();
  base64_size = 0;
  if (line.empty()) return true;
  std::string prefix = std::string(which.field->label) + kSummaryOriginalSize;
  if (line.compare(0, prefix.size(), prefix) != 0) return false;
  const size_t compressed_label = sizeof kSummaryCompressedSize - 1, base64_label = sizeof kSummaryBase64Size - 1;
  size_t a = prefix.size();
  size_t b = line.find(kSummaryCompressedSize, a);
  size_t c = b == std::string::npos ? b : line.find(kSummaryBase64Size, b);
  if (c == std::string::npos) return false;
  unsigned long long original = 0, compressed = 0;
  if (!ReadNumber(line.substr(a, b - a), original) ||
      !ReadNumber(line.substr(b + compressed_label, c - b - compressed_label), compressed) ||
      !ReadNumber(line.substr(c + base64_label), base64_size))
    return false;
  attachment.present = true;
  attachment.original_size = static_cast<size_t>(original);
  attachment.compressed_size = static_cast<size_t>(compressed);
  return true;
}

// The value between "\n<___TAG___>" and "</___TAG___>" at `pos`, which moves
// past it.
bool ReadTagged(const std::string& text, size_t& pos, const char* tag, const char* allowed, std::string& value) {
  std::string opening = "\n" + ReportOpeningTag(tag);
  std::string closing = ReportClosingTag(tag);
  if (text.compare(pos, opening.size(), opening) != 0) return false;
  size_t start = pos + opening.size();
  size_t end = text.find(closing, start);
  if (end == std::string::npos) return false;
  // A table rather than find_first_not_of, which searches `allowed` anew for
  // each of the dump's hundred thousand characters.
  bool taken[256] = {};
  for (const char* c = allowed; *c != '\0'; ++c) taken[static_cast<unsigned char>(*c)] = true;
  for (size_t i = start; i < end; ++i)
    if (!taken[static_cast<unsigned char>(text[i])]) return false;
  value.assign(text, start, end - start);
  pos = end + closing.size();
  return true;
}

// Checks an attachment's fields against its summary line: what the report
// says of it must agree before its content is looked at.
bool CheckFields(const Attachment& which, const std::string& size_text, const ReportAttachment& attachment,
                 unsigned long long base64_size, std::string& error) {
  unsigned long long size_field = 0;
  if (!ReadNumber(size_text, size_field)) {
    error = ks::Format("the %s's size field is not a number", which.name);
    return false;
  }
  if (!attachment.present) {
    if (size_field != 0 || !attachment.base64.empty()) {
      error = ks::Format("the %s is attached but has no summary line", which.name);
      return false;
    }
    return true;
  }
  if (size_field != attachment.original_size) {
    error = ks::Format("the %s's size field says %llu bytes, its summary %llu", which.name, size_field,
                       static_cast<unsigned long long>(attachment.original_size));
    return false;
  }
  if (attachment.base64.size() != base64_size) {
    error = ks::Format("the %s's Base64 has %llu characters, its summary says %llu", which.name,
                       static_cast<unsigned long long>(attachment.base64.size()), base64_size);
    return false;
  }
  if (attachment.compressed_size == 0) {
    // The compressed form did not fit its room: nothing was sent.
    if (!attachment.base64.empty()) {
      error = ks::Format("the %s has Base64 but a compressed size of 0", which.name);
      return false;
    }
  }
  return true;
}

// Decodes and inflates an attachment whose fields agree; false with the
// reason in `error` when its content does not give it back whole.
bool Inflate(const Attachment& which, const ReportAttachment& attachment, unsigned long long size_field,
             std::string& bytes, std::string& error) {
  std::vector<unsigned char> compressed(attachment.base64.size() / 4 * 3 + 3);
  long long count = Utility::Base64Decode(attachment.base64.data(), attachment.base64.size(), compressed.data(),
                                          compressed.size());
  if (count <= 0 || !IsCanonicalBase64(attachment.base64, compressed.data(), static_cast<size_t>(count))) {
    error = ks::Format("the %s's Base64 is not well formed", which.name);
    return false;
  }
  if (static_cast<unsigned long long>(count) != attachment.compressed_size) {
    error = ks::Format("the %s decodes to %lld compressed bytes, its summary says %llu", which.name, count,
                       static_cast<unsigned long long>(attachment.compressed_size));
    return false;
  }
  if (size_field > static_cast<unsigned long long>(count) * kInflateRatio + 64) {
    error = ks::Format("the %s's size field of %llu bytes is more than %lld compressed bytes can hold", which.name,
                       size_field, count);
    return false;
  }
  if (size_field > which.largest) {
    error = ks::Format("the %s's size field of %llu bytes is more than the %llu bytes a report's %s may take",
                       which.name, size_field, static_cast<unsigned long long>(which.largest), which.name);
    return false;
  }
  // Room for one byte more than the size field: a stream that fills it
  // inflates past the field.
  bytes.resize(static_cast<size_t>(size_field) + 1);
  z_stream stream;
  memset(&stream, 0, sizeof stream);
  if (inflateInit(&stream) != Z_OK) {
    error = "zlib could not start";
    return false;
  }
  stream.next_in = compressed.data();
  stream.avail_in = static_cast<uInt>(count);
  stream.next_out = reinterpret_cast<Bytef*>(&bytes[0]);
  stream.avail_out = static_cast<uInt>(bytes.size());
  int status = inflate(&stream, Z_FINISH);
  size_t produced = bytes.size() - stream.avail_out;
  bool trailing = stream.avail_in != 0;
  inflateEnd(&stream);
  if (status != Z_STREAM_END) {
    error = produced > size_field ? ks::Format("the %s inflates past its size field of %llu bytes", which.name, size_field)
                                  : ks::Format("the %s does not inflate (zlib status %d)", which.name, status);
    return false;
  }
  if (produced != size_field || trailing) {
    error = ks::Format("the %s inflates to %llu bytes, its size field says %llu", which.name,
                       static_cast<unsigned long long>(produced), size_field);
    return false;
  }
  bytes.resize(produced);
  if (which.text) {
    if (bytes.empty() || bytes.back() != '\0') {
      error = ks::Format("the %s does not end with the zero byte the report adds", which.name);
      return false;
    }
    bytes.pop_back();
  }
  return true;
}

}  // namespace

bool LooksLikeErrorReport(const std::string& content) {
  const char* begin = kReportHead[0].label;
  return content.compare(0, strlen(begin), begin) == 0 ||
         content.compare(0, sizeof kReportPostField - 1, kReportPostField) == 0;
}

bool ReadErrorReport(const std::string& content, ErrorReportContents& report, std::string& error) {
  if (!ReadErrorReportLayout(content, report, error)) return false;
  for (ReportPart part : {ReportPart::kLog, ReportPart::kCache, ReportPart::kDump}) InflateAttachment(report, part);
  return true;
}

void InflateAttachment(ErrorReportContents& report, ReportPart part) {
  const Attachment& which = kAttachments[static_cast<int>(part)];
  const ReportAttachment& attachment = report.facts.*which.field->attachment;
  std::string& bytes = report.*which.bytes;
  // CheckFields found the size field equal to the original size.
  if (!attachment.present || attachment.compressed_size == 0 ||
      Inflate(which, attachment, attachment.original_size, bytes, report.*which.problem))
    return;
  std::string().swap(bytes);
}

bool ReadErrorReportLayout(const std::string& content, ErrorReportContents& report, std::string& error) {
  report = ErrorReportContents();
  if (content.size() > kLargestReport) {
    error = ks::Format("the report is %llu bytes, more than the %llu a report may be",
                       static_cast<unsigned long long>(content.size()), static_cast<unsigned long long>(kLargestReport));
    return false;
  }
  std::string decoded;
  if (content.compare(0, sizeof kReportPostField - 1, kReportPostField) == 0) {
    if (content.find('\0') != std::string::npos) {
      error = "the report's POST body holds a zero byte";
      return false;
    }
    decoded = Utility::URLDecode(content.c_str() + sizeof kReportPostField - 1);
  }
  const std::string& text = decoded.empty() ? content : decoded;
  const char* begin = kReportHead[0].label;
  if (text.compare(0, strlen(begin), begin) != 0) {
    error = ks::Format("not an error report: it does not begin with \"%s\"", begin);
    return false;
  }
  const std::string end_mark = ReportClosingTag(kAttachments[2].field->data_tag) + kReportEnd;
  if (text.size() < end_mark.size() || text.compare(text.size() - end_mark.size(), end_mark.size(), end_mark) != 0) {
    error = "the report is cut: it does not end with its end mark \"&&xyz\"";
    return false;
  }
  ErrorReportFacts& facts = report.facts;

  // The head: fixed labels, each value running to the next label.
  const size_t head_fields = sizeof kReportHead / sizeof kReportHead[0];
  size_t pos = strlen(begin);
  for (size_t i = 0; i < head_fields; ++i) {
    const char* label = i + 1 < head_fields ? kReportHead[i + 1].label : kReportLastErrorLabel;
    size_t next = text.find(label, pos);
    if (next == std::string::npos) {
      while (*label == '\n') ++label;
      error = ks::Format("the report's head lacks \"%s\"", label);
      return false;
    }
    facts.*kReportHead[i].value = text.substr(pos, next - pos);
    pos = next + strlen(label);
  }
  // The attachments begin at the first size field; before them the error
  // text and the three summary lines, each after a line feed.
  size_t sizes = text.find("\n" + ReportOpeningTag(kAttachments[0].field->size_tag), pos);
  size_t error_label = text.find(kReportErrorTextLabel, pos);
  if (sizes == std::string::npos || error_label == std::string::npos || error_label > sizes) {
    error = "the report's head lacks \"Error: \" or the attachments";
    return false;
  }
  unsigned long long last_error = 0;
  if (!ReadNumber(text.substr(pos, error_label - pos), last_error) || last_error > 0xFFFFFFFFull) {
    error = "the report's last error is not a number";
    return false;
  }
  facts.last_error = static_cast<unsigned long>(last_error);
  size_t error_text = error_label + sizeof kReportErrorTextLabel - 1;
  std::string middle = text.substr(error_text, sizes - error_text);
  size_t third = middle.rfind('\n');
  size_t second = third == std::string::npos || third == 0 ? std::string::npos : middle.rfind('\n', third - 1);
  size_t first = second == std::string::npos || second == 0 ? std::string::npos : middle.rfind('\n', second - 1);
  if (first == std::string::npos) {
    error = "the report lacks its summary lines";
    return false;
  }
  facts.last_error_text = middle.substr(0, first);
  const std::string summaries[3] = {middle.substr(first + 1, second - first - 1),
                                    middle.substr(second + 1, third - second - 1), middle.substr(third + 1)};
  unsigned long long base64_sizes[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    if (!ReadSummary(summaries[i], kAttachments[i], facts.*kAttachments[i].field->attachment, base64_sizes[i])) {
      error = "a summary line of the report is not well formed";
      return false;
    }
  }

  const char kDigits[] = "0123456789";
  const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=\n";
  std::string size_texts[3];
  pos = sizes;
  for (int i = 0; i < 3; ++i) {
    const ReportAttachmentField& field = *kAttachments[i].field;
    if (!ReadTagged(text, pos, field.size_tag, kDigits, size_texts[i]) ||
        !ReadTagged(text, pos, field.data_tag, kBase64, (facts.*field.attachment).base64)) {
      error = ks::Format("the report's %s attachment is not well formed or is cut", kAttachments[i].name);
      return false;
    }
  }
  if (text.compare(pos, std::string::npos, kReportEnd) != 0) {
    error = "the report has bytes after its attachments";
    return false;
  }
  for (int i = 0; i < 3; ++i) {
    const Attachment& which = kAttachments[i];
    if (!CheckFields(which, size_texts[i], facts.*which.field->attachment, base64_sizes[i], error)) return false;
  }
  return true;
}
