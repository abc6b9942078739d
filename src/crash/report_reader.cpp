#include "crash/report_reader.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/codec.h"
#include "base/text.h"

namespace {

const char kBegin[] = "Kestrelon sCurrentFile = ";
const char kEndMark[] = "</___DUMPFILE___>&&xyz\n";
const char kPostField[] = "error=";

// zlib cannot inflate more than about 1032 bytes from one compressed byte;
// a size field beyond that (or beyond any sane attachment) is a lie.
const unsigned long long kInflateRatio = 1032;
const unsigned long long kLargestAttachment = 1ull << 30;

// The fixed labels of the report's head, in order, each followed by its value.
struct Label {
  const char* text;
  std::string ErrorReportFacts::*value;
};
const Label kLabels[] = {
    {"\nsCurrentDirectory = ", &ErrorReportFacts::current_file},
    {"\n\n\nVersion: ", &ErrorReportFacts::current_directory},
    {"\nComputer Name: ", &ErrorReportFacts::version},
    {"\nComputer IP: ", &ErrorReportFacts::computer_name},
    {"\nOS: ", &ErrorReportFacts::computer_address},
    {"\nIE: ", &ErrorReportFacts::os_description},
    {"\nIE Minor: ", &ErrorReportFacts::ie_version},
    {"\nIE Build: ", &ErrorReportFacts::ie_minor_version},
    {"\nGetLastError() returns: ", &ErrorReportFacts::ie_build},
};

struct Attachment {
  const char* label;      // of its summary line
  const char* size_tag;   // "LOGFILESIZE"
  const char* data_tag;   // "LOGFILE"
  const char* name;       // for messages
  bool text;              // sent with a zero byte behind it
};
const Attachment kLog = {"Log", "LOGFILESIZE", "LOGFILE", "log", true};
const Attachment kCache = {"Cache", "CACHEFILESIZE", "CACHEFILE", "cache", true};
const Attachment kDump = {"dump", "DUMPFILESIZE", "DUMPFILE", "dump", false};

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
  std::string prefix = std::string(which.label) + ": original size = ";
  if (line.compare(0, prefix.size(), prefix) != 0) return false;
  size_t a = prefix.size();
  size_t b = line.find(", compressed size = ", a);
  size_t c = b == std::string::npos ? b : line.find(", base64-encoded size = ", b);
  if (c == std::string::npos) return false;
  unsigned long long original = 0, compressed = 0;
  if (!ReadNumber(line.substr(a, b - a), original) || !ReadNumber(line.substr(b + 20, c - b - 20), compressed) ||
      !ReadNumber(line.substr(c + 24), base64_size))
    return false;
  attachment.present = true;
  attachment.original_size = static_cast<size_t>(original);
  attachment.compressed_size = static_cast<size_t>(compressed);
  return true;
}

// The value between "\n<___TAG___>" and "</___TAG___>" at `pos`, which moves
// past it.
bool ReadTagged(const std::string& text, size_t& pos, const char* tag, const char* allowed, std::string& value) {
  std::string opening = ks::Format("\n<___%s___>", tag);
  std::string closing = ks::Format("</___%s___>", tag);
  if (text.compare(pos, opening.size(), opening) != 0) return false;
  size_t start = pos + opening.size();
  size_t end = text.find(closing, start);
  if (end == std::string::npos) return false;
  value = text.substr(start, end - start);
  if (value.find_first_not_of(allowed) != std::string::npos) return false;
  pos = end + closing.size();
  return true;
}

// Decodes, checks against the summary and inflates one attachment.
bool Unpack(const Attachment& which, const std::string& size_text, ReportAttachment& attachment,
            unsigned long long base64_size, std::string& bytes, std::string& error) {
  unsigned long long size_field = 0;
  if (!ReadNumber(size_text, size_field)) {
    error = ks::Format("the %s's size field is not a number", which.name);
    return false;
  }
  bytes.clear();
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
    return true;
  }
  long long count = Utility::Base64Decode(attachment.base64.data(), attachment.base64.size(), nullptr, 0);
  std::vector<unsigned char> compressed(static_cast<size_t>(count > 0 ? count : 0) + 1);
  Utility::Base64Decode(attachment.base64.data(), attachment.base64.size(), compressed.data(), compressed.size());
  std::string again;
  if (count > 0) Utility::Base64Encode(compressed.data(), static_cast<size_t>(count), again, true);
  if (count <= 0 || again != attachment.base64) {
    error = ks::Format("the %s's Base64 is not well formed", which.name);
    return false;
  }
  if (static_cast<unsigned long long>(count) != attachment.compressed_size) {
    error = ks::Format("the %s decodes to %lld compressed bytes, its summary says %llu", which.name, count,
                       static_cast<unsigned long long>(attachment.compressed_size));
    return false;
  }
  if (size_field > kLargestAttachment || size_field > static_cast<unsigned long long>(count) * kInflateRatio + 64) {
    error = ks::Format("the %s's size field of %llu bytes is more than %lld compressed bytes can hold", which.name,
                       size_field, count);
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
  return content.compare(0, sizeof kBegin - 1, kBegin) == 0 || content.compare(0, sizeof kPostField - 1, kPostField) == 0;
}

bool ReadErrorReport(const std::string& content, ErrorReportContents& report, std::string& error) {
  report = ErrorReportContents();
  std::string text;
  if (content.compare(0, sizeof kPostField - 1, kPostField) == 0) {
    if (content.find('\0') != std::string::npos) {
      error = "the report's POST body holds a zero byte";
      return false;
    }
    text = Utility::URLDecode(content.c_str() + sizeof kPostField - 1);
  } else {
    text = content;
  }
  if (text.compare(0, sizeof kBegin - 1, kBegin) != 0) {
    error = "not an error report: it does not begin with \"Kestrelon sCurrentFile = \"";
    return false;
  }
  if (text.size() < sizeof kEndMark - 1 || text.compare(text.size() - (sizeof kEndMark - 1), sizeof kEndMark - 1, kEndMark) != 0) {
    error = "the report is cut: it does not end with its end mark \"&&xyz\"";
    return false;
  }
  ErrorReportFacts& facts = report.facts;

  // The head: fixed labels, each value running to the next label.
  size_t pos = sizeof kBegin - 1;
  for (const Label& label : kLabels) {
    size_t next = text.find(label.text, pos);
    if (next == std::string::npos) {
      const char* name = label.text;
      while (*name == '\n') ++name;
      error = ks::Format("the report's head lacks \"%s\"", name);
      return false;
    }
    facts.*label.value = text.substr(pos, next - pos);
    pos = next + strlen(label.text);
  }
  // The attachments begin at the first size field; before them the error
  // text and the three summary lines, each after a line feed.
  size_t sizes = text.find("\n<___LOGFILESIZE___>", pos);
  size_t error_label = text.find("\nError: ", pos);
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
  std::string middle = text.substr(error_label + 8, sizes - error_label - 8);
  size_t third = middle.rfind('\n');
  size_t second = third == std::string::npos || third == 0 ? std::string::npos : middle.rfind('\n', third - 1);
  size_t first = second == std::string::npos || second == 0 ? std::string::npos : middle.rfind('\n', second - 1);
  if (first == std::string::npos) {
    error = "the report lacks its summary lines";
    return false;
  }
  facts.last_error_text = middle.substr(0, first);
  unsigned long long base64_sizes[3] = {0, 0, 0};
  if (!ReadSummary(middle.substr(first + 1, second - first - 1), kLog, facts.log, base64_sizes[0]) ||
      !ReadSummary(middle.substr(second + 1, third - second - 1), kCache, facts.cache, base64_sizes[1]) ||
      !ReadSummary(middle.substr(third + 1), kDump, facts.dump, base64_sizes[2])) {
    error = "a summary line of the report is not well formed";
    return false;
  }

  const char kDigits[] = "0123456789";
  const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=\n";
  std::string size_texts[3];
  const Attachment* which[3] = {&kLog, &kCache, &kDump};
  ReportAttachment* attachments[3] = {&facts.log, &facts.cache, &facts.dump};
  std::string* bytes[3] = {&report.log, &report.cache, &report.dump};
  pos = sizes;
  for (int i = 0; i < 3; ++i) {
    if (!ReadTagged(text, pos, which[i]->size_tag, kDigits, size_texts[i]) ||
        !ReadTagged(text, pos, which[i]->data_tag, kBase64, attachments[i]->base64)) {
      error = ks::Format("the report's %s attachment is not well formed or is cut", which[i]->name);
      return false;
    }
  }
  if (text.compare(pos, std::string::npos, "&&xyz\n") != 0) {
    error = "the report has bytes after its attachments";
    return false;
  }
  for (int i = 0; i < 3; ++i)
    if (!Unpack(*which[i], size_texts[i], *attachments[i], base64_sizes[i], *bytes[i], error)) return false;
  return true;
}
