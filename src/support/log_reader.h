#pragma once
// Reads a starter log ("KSSetup.txt" and its backups) back into its records,
// and splits it into the runs of the starter that wrote it. A record is a
// time line, "Function: ", "Line: " and "Message: " lines and an empty line;
// a message may hold line breaks and empty lines of its own, and text from
// outside (a server's reply is logged whole), so it may hold what looks like
// a record. What the writer guarantees tells most of those apart: it writes
// the whole header at once, and takes each record's time under the lock it
// writes under, so the records of a file are in time order. A look-alike
// that does not read whole, or that is out of that order, stays part of
// the message it is in and is named in a note.
#include <cstddef>
#include <string>
#include <vector>

namespace kslog {

struct LogRecord {
  std::string time;       // "2024-05-01 09:03:07"
  std::string operation;  // as written after "Function: "
  int line = 0;
  std::string message;    // line breaks as "\n"
  size_t offset = 0;      // where the record starts in the text read (after CR LF became LF)
};

// Text inside a message that looks like a record but is not read as one.
struct LogNote {
  size_t record = 0;  // index of the record whose message holds it
  std::string text;
};

struct ParsedLog {
  std::vector<LogRecord> records;
  std::vector<LogNote> notes;
  // The last record has no empty line after it: its writer was stopped
  // while writing it, or the file was cut.
  bool last_record_cut = false;
};

// Parses a whole log. False with a one-line reason in `error` when the text
// is not a log: it is empty, holds a zero byte before its end (zero bytes
// that end it mark where it was cut), or does not begin with a whole record.
bool ParseLog(const std::string& text, ParsedLog& log, std::string& error);

// A record's local time in seconds since 1970 (for differences between
// records), or -1 when it does not read.
long long RecordSeconds(const std::string& time);

// One run of the starter: the records from its start-up up to the next
// start-up. A log that was turned over at its size limit begins in the
// middle of a run; that run has no start-up.
struct LogRun {
  size_t first = 0;  // index of its first record
  size_t count = 0;
  bool has_start = false;
};

std::vector<LogRun> SplitRuns(const std::vector<LogRecord>& records);

}  // namespace kslog
