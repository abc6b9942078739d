#include "crash/report_text_buffer.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

ReportTextBuffer::ReportTextBuffer(Writer writer, void* context)
    : writer_(writer), context_(context), failed_(false), count_(0) {}

void ReportTextBuffer::SetWriter(Writer writer, void* context) {
  writer_ = writer;
  context_ = context;
  failed_ = false;
  count_ = 0;
}

void ReportTextBuffer::MakeRoom(size_t count) {
  // The threshold keeps the writes in large pieces; the capacity test makes
  // sure a long piece never overruns the buffer.
  if (count_ > kFlushThreshold || count > kCapacity - count_) Flush();
}

void ReportTextBuffer::Append(const char16_t* text, size_t count) {
  if (text == nullptr || count == 0) return;
  MakeRoom(count);
  if (count > kCapacity) {  // larger than the whole buffer: straight through
    if (writer_ == nullptr || !writer_(context_, text, count)) failed_ = true;
    return;
  }
  memcpy(text_ + count_, text, count * sizeof(char16_t));
  count_ += count;
}

void ReportTextBuffer::AppendAscii(const char* text) {
  if (text == nullptr) return;
  char16_t wide[1024];
  size_t length = strlen(text);
  size_t done = 0;
  while (done < length) {
    size_t n = 0;
    while (n < sizeof wide / sizeof wide[0] && done + n < length) {
      wide[n] = static_cast<unsigned char>(text[done + n]);
      ++n;
    }
    Append(wide, n);
    done += n;
  }
}

void ReportTextBuffer::AppendFormat(const char* format, ...) {
  char piece[1024];
  va_list args;
  va_start(args, format);
  int written = vsnprintf(piece, sizeof piece, format, args);
  va_end(args);
  if (written < 0) return;
  AppendAscii(piece);
}

bool ReportTextBuffer::Flush() {
  if (count_ != 0) {
    if (writer_ == nullptr || !writer_(context_, text_, count_)) failed_ = true;
    count_ = 0;
  }
  return !failed_;
}
