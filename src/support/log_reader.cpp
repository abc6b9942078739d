#include "support/log_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/text.h"

namespace kslog {
namespace {

const char kFunction[] = "\nFunction: ";
const char kLine[] = "\nLine: ";
const char kMessage[] = "\nMessage: ";

// Reads a decimal field of `min_digits` to `max_digits` digits within
// [low, high]; `padded` fields ("%02d") may start with 0, others may not.
bool Field(const std::string& text, size_t& pos, size_t min_digits, size_t max_digits, long low, long high,
           bool padded = true) {
  size_t start = pos;
  long value = 0;
  while (pos < text.size() && pos - start < max_digits && text[pos] >= '0' && text[pos] <= '9')
    value = value * 10 + (text[pos++] - '0');
  size_t digits = pos - start;
  if (digits < min_digits || (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')) return false;
  if (!padded && digits > 1 && text[start] == '0') return false;
  return value >= low && value <= high;
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

// The time as the writer formats it ("%d-%02d-%02d %02d:%02d:%02d" of the
// system's local time), followed by the Function line: the part of a header
// that tells a record begins here. `pos` moves past the time.
bool TimeLine(const std::string& text, size_t& pos) {
  return Field(text, pos, 4, 5, 1601, 30827, false) && Char(text, pos, '-') && Field(text, pos, 2, 2, 1, 12) &&
         Char(text, pos, '-') && Field(text, pos, 2, 2, 1, 31) && Char(text, pos, ' ') &&
         Field(text, pos, 2, 2, 0, 23) && Char(text, pos, ':') && Field(text, pos, 2, 2, 0, 59) &&
         Char(text, pos, ':') && Field(text, pos, 2, 2, 0, 59) &&
         text.compare(pos, sizeof kFunction - 1, kFunction) == 0;
}

enum class Header { kNone, kWhole, kBroken };

// Reads the header of a record starting at `start`: kNone when no record
// starts there, kBroken when one seems to but its header does not hold.
Header ReadHeader(const std::string& text, size_t start, LogRecord& record, size_t& message_start,
                  std::string& what) {
  size_t pos = start;
  if (!TimeLine(text, pos)) return Header::kNone;
  record.time = text.substr(start, pos - start);
  pos += sizeof kFunction - 1;
  size_t end = text.find('\n', pos);
  if (end == std::string::npos || end == pos) {
    what = end == pos ? "its Function is empty" : "it ends in its Function line";
    return Header::kBroken;
  }
  record.operation = text.substr(pos, end - pos);
  pos = end;
  if (!Literal(text, pos, kLine)) {
    what = "no Line after its Function";
    return Header::kBroken;
  }
  size_t digits = pos;
  if (!Field(text, pos, 1, 9, 1, 999999999, false)) {
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
  log = ParsedLog();
  std::string text = raw;
  ks::CrLfToLf(text);
  if (text.empty()) {
    error = "the log is empty";
    return false;
  }
  // A machine that lost power or crashed while the log grew may leave the
  // file's last clusters zero-filled: such a tail is where the log was cut.
  size_t zero = text.find('\0');
  size_t zero_tail = 0;
  if (zero != std::string::npos && text.find_first_not_of('\0', zero) == std::string::npos) {
    zero_tail = text.size() - zero;
    text.resize(zero);
  } else if (zero != std::string::npos) {
    error = ks::Format("not a starter log: a zero byte at offset %llu", static_cast<unsigned long long>(zero));
    return false;
  }
  if (text.empty()) {
    error = "the log holds only zero bytes";
    return false;
  }
  // Every place after an empty line where a whole header reads; the first
  // is where the log begins.
  struct Candidate {
    LogRecord record;
    size_t message_start = 0;
    long long seconds = 0;
  };
  std::vector<Candidate> candidates(1);
  std::string what;
  if (ReadHeader(text, 0, candidates[0].record, candidates[0].message_start, what) != Header::kWhole) {
    error = what.empty() ? "not a starter log: it does not begin with a record"
                         : "not a starter log: its first record is broken: " + what;
    return false;
  }
  candidates[0].seconds = RecordSeconds(candidates[0].record.time);
  std::vector<std::pair<size_t, std::string>> broken;  // where, and why it does not read
  for (size_t blank = text.find("\n\n", candidates[0].message_start); blank != std::string::npos;
       blank = text.find("\n\n", blank + 1)) {
    Candidate candidate;
    what.clear();
    Header header = ReadHeader(text, blank + 2, candidate.record, candidate.message_start, what);
    if (header == Header::kBroken) broken.emplace_back(blank + 2, what);
    if (header != Header::kWhole) continue;
    candidate.seconds = RecordSeconds(candidate.record.time);
    candidates.push_back(candidate);
  }

  // The records are the longest run of candidates in time order from the
  // first (the fewest look-alikes); among runs as long, the earliest times.
  std::vector<size_t> tails;  // candidate ending the best run of each length
  std::vector<size_t> before(candidates.size(), 0);
  for (size_t i = 1; i < candidates.size(); ++i) {
    if (candidates[i].seconds < candidates[0].seconds) continue;
    size_t low = 0, high = tails.size();
    while (low < high) {
      size_t middle = (low + high) / 2;
      if (candidates[tails[middle]].seconds <= candidates[i].seconds)
        low = middle + 1;
      else
        high = middle;
    }
    before[i] = low == 0 ? 0 : tails[low - 1];
    if (low == tails.size())
      tails.push_back(i);
    else
      tails[low] = i;
  }
  std::vector<size_t> chosen;
  for (size_t i = tails.empty() ? 0 : tails.back(); i != 0; i = before[i]) chosen.push_back(i);
  chosen.push_back(0);
  std::reverse(chosen.begin(), chosen.end());

  for (size_t k = 0; k < chosen.size(); ++k) {
    Candidate& candidate = candidates[chosen[k]];
    size_t start = candidate.message_start;
    size_t stop = k + 1 < chosen.size() ? candidates[chosen[k + 1]].record.offset - 2 : text.size();
    if (k + 1 == chosen.size()) {
      if (stop - start >= 2 && text.compare(stop - 2, 2, "\n\n") == 0)
        stop -= 2;
      else
        log.last_record_cut = true;
    }
    candidate.record.message = text.substr(start, stop - start);
    log.records.push_back(candidate.record);
  }

  // Names each look-alike in the record whose message holds it.
  const size_t kNamedLookAlikes = 20;
  size_t unnamed = 0;
  auto note = [&](size_t offset, const std::string& why) {
    if (log.notes.size() >= kNamedLookAlikes) {
      ++unnamed;
      return;
    }
    size_t holder = 0;
    while (holder + 1 < log.records.size() && log.records[holder + 1].offset < offset) ++holder;
    const LogRecord& record = log.records[holder];
    log.notes.push_back({holder, ks::Format("the message of the record of %s (%s) holds text that looks like a "
                                            "record but %s: read as part of that message",
                                            record.time.c_str(), record.operation.c_str(), why.c_str())});
  };
  size_t next_chosen = 0, next_broken = 0;
  for (size_t i = 1; i <= candidates.size(); ++i) {
    size_t offset = i < candidates.size() ? candidates[i].record.offset : text.size();
    for (; next_broken < broken.size() && broken[next_broken].first < offset; ++next_broken)
      note(broken[next_broken].first, "does not read (" + broken[next_broken].second + ")");
    if (i == candidates.size()) break;
    while (next_chosen < chosen.size() && chosen[next_chosen] < i) ++next_chosen;
    if (next_chosen < chosen.size() && chosen[next_chosen] == i) continue;
    note(offset, "its time " + candidates[i].record.time + " is out of order with the records around it");
  }
  if (unnamed > 0)
    log.notes.push_back({log.records.size() - 1, ks::Format("%llu more look-alikes of records are read as parts of "
                                                            "messages",
                                                            static_cast<unsigned long long>(unnamed))});
  if (zero_tail > 0)
    log.notes.push_back({log.records.size() - 1, ks::Format("the log ends in %llu zero bytes, as a file does that "
                                                            "was cut while it grew: read up to them",
                                                            static_cast<unsigned long long>(zero_tail))});
  return true;
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
