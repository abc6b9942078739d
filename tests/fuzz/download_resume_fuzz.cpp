// What a resumed download reads: a reply's header block (status, validator,
// Content-Range) judged against the bytes held, and the head of the part a
// cut download kept for the next run. Input layout:
//   bytes 0-3  the bytes held and the whole body's size (two little-endian
//              16-bit counts) for the judgement
//   the rest   a header block, and on its own a kept part's file
// Whatever the bytes, nothing is read past them; a head read back is
// rebuilt byte for byte; a validator taken can go into a header line as it
// is; a reply is taken as the rest only when it continues the bytes held to
// the end of the body.
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "net/range_reply.h"
#include "setup/kept_part.h"

namespace {

bool IsHeaderSafe(const std::string& text) { return text.find_first_of("\r\n", 0, 2) == std::string::npos; }

void CheckJudgement(const char* head, size_t length, int from, int size) {
  std::string validator;
  ksnet::RangeAnswer answer = ksnet::JudgeRangeHead(head, length, from, size, &validator);
  KS_FUZZ_CHECK(validator.empty() || ksnet::IsUsableValidator(validator));
  KS_FUZZ_CHECK(IsHeaderSafe(validator));
  if (from <= 0) KS_FUZZ_CHECK(answer == ksnet::RangeAnswer::kWhole);
  if (answer == ksnet::RangeAnswer::kRest) {
    std::string text;
    ksnet::ContentRange range;
    KS_FUZZ_CHECK(ksnet::FindHeader(head, length, "Content-Range", &text) && ksnet::ParseContentRange(text, &range));
    KS_FUZZ_CHECK(range.first == from && range.last == size - 1 && range.total == size);
    KS_FUZZ_CHECK(ksnet::StatusCode(head, length) == 206);
  }
  if (!validator.empty()) {
    std::string lines = ksnet::RangeHeaders(from, validator);
    KS_FUZZ_CHECK(lines.find("\r\n") == lines.find("\r\nIf-Range: "));  // exactly two lines
  }
}

void CheckKeptHead(const char* data, size_t length) {
  KeptPart part;
  size_t head_length = 0;
  if (!ReadKeptHead(data, length, &part, &head_length)) return;
  KS_FUZZ_CHECK(head_length <= length && head_length <= kKeptHeadLimit);
  KS_FUZZ_CHECK(part.kept > 0 && part.kept < part.size && ksnet::IsUsableValidator(part.validator));
  KS_FUZZ_CHECK(KeptHead(part) == std::string(data, head_length));
  KS_FUZZ_CHECK(KeptPartMismatch(part, part.server, part.size, part.time) == nullptr);
  KS_FUZZ_CHECK(KeptPartMismatch(part, part.server, part.size, part.time + kKeptPartLifetimeSeconds) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  CheckKeptHead(text, size);
  if (size < 4) return 0;
  int from = data[0] | (data[1] << 8);
  int whole = data[2] | (data[3] << 8);
  CheckJudgement(text + 4, size - 4, from, whole);
  ksnet::ContentRange range;
  if (ksnet::ParseContentRange(std::string(text + 4, size - 4), &range)) {
    KS_FUZZ_CHECK(range.first <= range.last);
    KS_FUZZ_CHECK(range.total < 0 || range.last < range.total);
  }
  return 0;
}
