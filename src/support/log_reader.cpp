#include "support/log_reader.h"

#include <cstdio>
#include <cstring>

#include "base/text.h"

namespace kslog {
namespace {

const char kFunction[] = "\nFunction: ";
const char kLine[] = "\nLine: ";
const char kMessage[] = "\nMessage: ";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads `count` digits (count 0: one or more) at `pos`; false when absent.
bool Digits(const std::string& text, size_t& pos, size_t count) {
  size_t start = pos;
  while (pos < text.size() && IsDigit(text[pos]) && (count == 0 || pos - start < count)) ++pos;
  return pos > start && (count == 0 || pos - start == count);
}

bool Char(const std::string& text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

bool Literal(const std::string& text, size_t& pos, const char* literal) {
  size_t length = strlen(literal);
  if (text.compare(pos, length, literal) != 0) return false;
  pos += length;
  return true;
}

// "%d-%02d-%02d %02d:%02d:%02d" followed by the Function line: the part of a
// header that tells a record begins here. `pos` moves past the time.
bool TimeLine(const std::string& text, size_t& pos) {
  return Digits(text, pos, 0) && Char(text, pos, '-') && Digits(text, pos, 2) && Char(text, pos, '-') &&
         Digits(text, pos, 2) && Char(text, pos, ' ') && Digits(text, pos, 2) && Char(text, pos, ':') &&
         Digits(text, pos, 2) && Char(text, pos, ':') && Digits(text, pos, 2) &&
         text.compare(pos, sizeof kFunction - 1, kFunction) == 0;
}

enum class Header { kNone, kWhole, kBroken };

// Reads the header of a record starting at `start`: kNone when no record
// starts there, kBroken when one starts but its header does not hold.
Header ReadHeader(const std::string& text, size_t start, LogRecord& record, size_t& message_start,
                  std::string& what) {
  size_t pos = start;
  if (!TimeLine(text, pos)) return Header::kNone;
  record.time = text.substr(start, pos - start);
  pos += sizeof kFunction - 1;
  size_t end = text.find('\n', pos);
  if (end == std::string::npos) {
    what = "it ends in its Function line";
    return Header::kBroken;
  }
  record.operation = text.substr(pos, end - pos);
  pos = end;
  if (!Literal(text, pos, kLine)) {
    what = "no Line after its Function";
    return Header::kBroken;
  }
  size_t digits = pos;
  if (!Digits(text, pos, 0) || pos - digits > 9) {
    what = "its Line is not a number";
    return Header::kBroken;
  }
  record.line = ks::ParseInt(text.c_str() + digits);
  if (!Literal(text, pos, kMessage)) {
    what = "no Message after its Line";
    return Header::kBroken;
  }
  record.offset = start;
  message_start = pos;
  return Header::kWhole;
}

bool IsStartUp(const LogRecord& record) {
  return record.operation == "BootwickApp::InitInstance()" ||
         record.operation == "PublisherCheck::LearnOwnPublisher" || record.operation == "MyConfigure::UseCacheFile";
}

bool StartsRun(const LogRecord& record) {
  return record.operation == "BootwickApp::InitInstance()" && record.message.compare(0, 14, "m_lpCmdLine = ") == 0;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, long long m, long long d) {
  y -= m <= 2;
  long long era = (y >= 0 ? y : y - 399) / 400;
  long long yoe = y - era * 400;
  long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

bool ParseLog(const std::string& raw, ParsedLog& log, std::string& error) {
  log.records.clear();
  log.last_record_cut = false;
  std::string text = raw;
  ks::CrLfToLf(text);
  if (text.empty()) {
    error = "the log is empty";
    return false;
  }
  size_t zero = text.find('\0');
  if (zero != std::string::npos) {
    error = ks::Format("not a starter log: a zero byte at offset %llu", static_cast<unsigned long long>(zero));
    return false;
  }
  LogRecord record;
  size_t message_start = 0;
  std::string what;
  if (ReadHeader(text, 0, record, message_start, what) != Header::kWhole) {
    error = what.empty() ? "not a starter log: it does not begin with a record"
                         : "not a starter log: its first record is broken: " + what;
    return false;
  }
  for (;;) {
    // The message runs to the empty line that comes right before the next
    // record, or to the end.
    size_t search = message_start;
    size_t end = std::string::npos;
    LogRecord next;
    size_t next_message = 0;
    for (;;) {
      size_t blank = text.find("\n\n", search);
      if (blank == std::string::npos) break;
      Header header = ReadHeader(text, blank + 2, next, next_message, what);
      if (header == Header::kBroken) {
        error = ks::Format("record %llu at offset %llu is broken: %s",
                           static_cast<unsigned long long>(log.records.size() + 2),
                           static_cast<unsigned long long>(blank + 2), what.c_str());
        return false;
      }
      if (header == Header::kWhole) {
        end = blank;
        break;
      }
      search = blank + 1;
    }
    if (end == std::string::npos) {
      size_t stop = text.size();
      if (stop - message_start >= 2 && text.compare(stop - 2, 2, "\n\n") == 0)
        stop -= 2;
      else
        log.last_record_cut = true;
      record.message = text.substr(message_start, stop - message_start);
      log.records.push_back(record);
      return true;
    }
    record.message = text.substr(message_start, end - message_start);
    log.records.push_back(record);
    record = next;
    message_start = next_message;
  }
}

long long RecordSeconds(const std::string& time) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  char tail = 0;
  if (sscanf(time.c_str(), "%d-%d-%d %d:%d:%d%c", &year, &month, &day, &hour, &minute, &second, &tail) != 6)
    return -1;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return -1;
  return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

std::vector<LogRun> SplitRuns(const std::vector<LogRecord>& records) {
  // A run starts with the start-up records just before its command line.
  std::vector<size_t> starts;
  size_t floor = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    if (!StartsRun(records[i])) continue;
    size_t first = i;
    while (first > floor && IsStartUp(records[first - 1]) && !StartsRun(records[first - 1])) --first;
    starts.push_back(first);
    floor = i + 1;
  }
  std::vector<LogRun> runs;
  if (records.empty()) return runs;
  if (starts.empty() || starts[0] > 0) {
    LogRun partial;
    partial.count = starts.empty() ? records.size() : starts[0];
    runs.push_back(partial);
  }
  for (size_t k = 0; k < starts.size(); ++k) {
    LogRun run;
    run.first = starts[k];
    run.count = (k + 1 < starts.size() ? starts[k + 1] : records.size()) - starts[k];
    run.has_start = true;
    runs.push_back(run);
  }
  return runs;
}

}  // namespace kslog
