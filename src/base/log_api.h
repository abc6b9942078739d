#pragma once
// The one way every part of the starter writes to its log. Portable code logs
// through KS_LOG without knowing where records go: on Windows the sink is the
// process log (MyLog), in native tests a capturing sink.
#include <cstdarg>

#include "base/text.h"

namespace kslog {

// Levels as the log understands them: 0 ordinary progress, 3 failures and the
// HTTP request trace (1 and 2 exist but no caller uses them).
enum Level { kInfo = 0, kFailure = 3 };

typedef void (*Sink)(const char* operation, int level, const char* source_file, int line,
                     const char* format, va_list args);

// Installs the sink (null drops every record). Returns the previous one.
Sink SetSink(Sink sink);

void Write(const char* operation, int level, const char* source_file, int line, const char* format, ...)
    KS_PRINTF_FORMAT(5, 6);

}  // namespace kslog

// KS_LOG(level, "Class::Operation", "format", args...)
#define KS_LOG(level, operation, ...) ::kslog::Write(operation, level, __FILE__, __LINE__, __VA_ARGS__)
