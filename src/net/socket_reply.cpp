#include "net/socket_reply.h"

#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "base/log_api.h"
#include "base/text.h"
#include "net/page_mapper.h"
#include "net/range_reply.h"

namespace ksnet {
namespace {

const char kOperation[] = "Utility::URLDownload";
const char kHeaderEnd[] = "\r\n\r\n";
const char kContentLength[] = "Content-Length:";

enum class LengthText { kOk, kTooLong, kOutOfRange };

// atoi-style reading (leading white space, optional sign, digits; no digits
// read as 0), but a value a 32-bit signed count cannot hold, or a negative
// one, is reported instead of being wrapped or saturated.
LengthText ReadLength(const char* text, size_t length, int* value) {
  if (length > kContentLengthTextLimit) return LengthText::kTooLong;
  size_t i = 0;
  while (i < length && (text[i] == ' ' || text[i] == '\t' || text[i] == '\v' || text[i] == '\f')) ++i;
  bool negative = false;
  if (i < length && (text[i] == '+' || text[i] == '-')) negative = (text[i++] == '-');
  long long number = 0;
  bool any_digit = false;
  for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
    any_digit = true;
    number = number * 10 + (text[i] - '0');
    if (number > INT_MAX) return LengthText::kOutOfRange;
  }
  if (negative && any_digit && number > 0) return LengthText::kOutOfRange;
  *value = static_cast<int>(number);
  return LengthText::kOk;
}

// Bytes beyond the expected length arrived and are counted, though never
// stored; the count saturates rather than wraps.
void StoreCount(std::atomic<int>* received, int stored, int beyond) {
  if (received != nullptr) received->store(stored > INT_MAX - beyond ? INT_MAX : stored + beyond);
}

void LogBeyondExpected(int beyond, int expected) {
  KS_LOG(3, kOperation, "received %d bytes beyond the expected length %d, refused", beyond, expected);
}

void LogReceiveFailure(ReplySource& source) {
  int code = source.LastError();
  KS_LOG(0, kOperation, "recv() iReturn == -1, error code: %d, error: %s", code, source.ErrorText(code));
}

}  // namespace

bool ContentLengthEquals(const char* text, size_t length, int expected) {
  int announced = 0;
  return text != nullptr && ReadLength(text, length, &announced) == LengthText::kOk && announced == expected;
}

FirstBlock AnalyzeFirstBlock(const char* block, size_t length, int expected_size, bool block_full) {
  FirstBlock result;
  const char* end = ks::FindBytes(block, length, kHeaderEnd, 4);
  result.has_header_end = end != nullptr;
  if (end != nullptr) result.body_offset = static_cast<size_t>(end - block) + 4;

  // Only the header is searched: a body that happens to contain the words
  // must not announce a length of its own.
  size_t header_length = end != nullptr ? static_cast<size_t>(end - block) + 2 : length;
  const char* field = ks::FindBytes(block, header_length, kContentLength, sizeof kContentLength - 1);
  const char* value = field != nullptr ? field + sizeof kContentLength - 1 : nullptr;
  const char* value_end = value;
  const char* limit = block + length;
  while (value_end != nullptr && value_end < limit && *value_end != '\r' && *value_end != '\n') ++value_end;

  if (expected_size != 0) {
    result.kind = FirstBlockKind::kLength;
    result.expected_size = expected_size;
    result.announces_length = field != nullptr;
    result.length_conflict =
        field != nullptr && !ContentLengthEquals(value, static_cast<size_t>(value_end - value), expected_size);
    return result;
  }
  if (field == nullptr) {
    result.kind = (end == nullptr && block_full) ? FirstBlockKind::kInvalidHeader : FirstBlockKind::kNoContentLength;
    return result;
  }
  int announced = 0;
  switch (ReadLength(value, static_cast<size_t>(value_end - value), &announced)) {
    case LengthText::kTooLong:
      result.kind = FirstBlockKind::kInvalidHeader;
      return result;
    case LengthText::kOutOfRange:
      result.kind = FirstBlockKind::kInvalidLength;
      return result;
    case LengthText::kOk:
      break;
  }
  result.kind = FirstBlockKind::kLength;
  result.expected_size = announced;
  return result;
}

bool ReceiveReply(ReplySource& source, int expected_size, bool small_reads, std::unique_ptr<char[]>* body,
                  int* body_size, std::atomic<int>* received, char* room, size_t room_size, RangeState* range) {
  if (body == nullptr || body_size == nullptr) return false;
  body->reset();
  *body_size = 0;
  // Only a body of known length received into the caller's room can hold
  // the bytes of an earlier reply.
  if (expected_size <= 0 || room == nullptr || room_size < static_cast<size_t>(expected_size)) range = nullptr;

  std::unique_ptr<char[]> block(new (std::nothrow) char[kFirstBlockSize]);
  if (!block) {
    KS_LOG(3, kOperation, "failed to allocate %d bytes", kFirstBlockSize);
    return false;
  }
  int got = source.Receive(block.get(), kFirstBlockSize - 1);
  if (got <= 0) {
    LogReceiveFailure(source);
    return false;
  }
  size_t length = static_cast<size_t>(got);
  // A header cut off by the block's end is left to the checks below.
  int from = 0;
  std::string validator;
  const char* head_end = ks::FindBytes(block.get(), length, kHeaderEnd, 4);
  if (range != nullptr && head_end != nullptr &&
      !TakeRangeReply(block.get(), static_cast<size_t>(head_end - block.get()) + 4, *range, expected_size, kOperation,
                      &from, &validator))
    return false;
  // From here on the reply is what it carries: the rest, or the whole. What
  // the room held counts as held until a byte of the reply lands.
  FirstBlock first = AnalyzeFirstBlock(block.get(), length, expected_size - from, got == kFirstBlockSize - 1);
  auto count_stored = [&](int count) {
    if (received != nullptr) received->store(from + count);
    if (range != nullptr && count > 0) range->Took(from + count, validator);
  };

  switch (first.kind) {
    case FirstBlockKind::kInvalidHeader:
      KS_LOG(0, kOperation, "invalid header");
      return false;
    case FirstBlockKind::kInvalidLength:
      KS_LOG(3, kOperation, "invalid Content-Length, refused");
      return false;
    case FirstBlockKind::kNoContentLength: {
      KS_LOG(0, kOperation, "missing Content-Length");
      size_t offset = first.has_header_end ? first.body_offset : 0;
      size_t count = length - offset;
      std::unique_ptr<char[]> data(new (std::nothrow) char[count + 1]);
      if (!data) {
        KS_LOG(3, kOperation, "failed to allocate %d bytes", static_cast<int>(count + 1));
        return false;
      }
      memcpy(data.get(), block.get() + offset, count);
      data[count] = '\0';
      *body = std::move(data);
      *body_size = static_cast<int>(count);
      if (received != nullptr) received->store(static_cast<int>(count));
      return true;
    }
    case FirstBlockKind::kLength:
      break;
  }

  int expected = first.expected_size;
  *body_size = from + expected;
  if (expected < 1) {
    KS_LOG(0, kOperation, "no new download");
    return true;
  }
  if (!first.has_header_end) {
    KS_LOG(0, kOperation, "invalid header");
    return false;
  }
  // The caller's own count: the reply must be exactly that long.
  bool counted = expected_size != 0;
  size_t initial = length - first.body_offset;
  // Refused before any of its body is taken, as the WinInet reads refuse it.
  if (counted && first.length_conflict) {
    KS_LOG(3, kOperation, "Content-Length does not match the expected length %d, refused", expected);
    count_stored(0);
    return false;
  }
  std::unique_ptr<char[]> data;
  char* target = room != nullptr ? room + from : nullptr;
  if (room == nullptr || static_cast<size_t>(expected) > room_size) {
    data.reset(new (std::nothrow) char[static_cast<size_t>(expected) + 1]);
    if (!data) {
      KS_LOG(3, kOperation, "failed to allocate %d bytes", expected);
      return false;
    }
    target = data.get();
  }
  int beyond = 0;
  if (initial > static_cast<size_t>(expected)) {
    beyond = static_cast<int>(initial - static_cast<size_t>(expected));
    initial = static_cast<size_t>(expected);
  }
  memcpy(target, block.get() + first.body_offset, initial);
  int count = static_cast<int>(initial);
  block.reset();
  if (beyond > 0 && counted) {
    count_stored(count);
    StoreCount(received, from + count, beyond);
    LogBeyondExpected(beyond, expected);
    *body = std::move(data);
    return false;
  }
  if (beyond > 0) KS_LOG(0, kOperation, "dropped %d bytes beyond the expected length %d", beyond, expected);
  count_stored(count);

  // Nothing is asked for past the expected length, announced or not: a
  // keep-alive peer would hold the connection open and the receive with it.
  if (count < expected) {
    int piece_size = small_reads ? kSmallPieceSize : kLargePieceSize;
    std::unique_ptr<char[]> piece(new (std::nothrow) char[piece_size]);
    if (!piece) {
      KS_LOG(3, kOperation, "failed to allocate %d bytes", piece_size);
      *body = std::move(data);
      return false;
    }
    PageMapper mapper(target);
    while (count < expected) {
      int room_left = expected - count;
      // Far from the end, bytes go straight into the body in large receives
      // into pages mapped just before: a receive returns what has arrived,
      // so the count still moves as the bytes come, and a fast line is not
      // held to one call and one copy per piece. The last piece goes through
      // the piece buffer, where bytes beyond the length show without ever
      // being stored.
      if (room_left >= piece_size) {
        int direct = room_left - (piece_size - 1);
        int want = direct < kDirectReceiveLimit ? direct : kDirectReceiveLimit;
        mapper.MapAhead(static_cast<size_t>(count), static_cast<size_t>(count) + static_cast<size_t>(want));
        int n = source.Receive(target + count, want);
        if (n <= 0 || n > want) {
          LogReceiveFailure(source);
          *body = std::move(data);
          return false;
        }
        count += n;
        count_stored(count);
        continue;
      }
      int n = source.Receive(piece.get(), piece_size - 1);
      if (n <= 0) {
        LogReceiveFailure(source);
        *body = std::move(data);
        return false;
      }
      int take = n < room_left ? n : room_left;
      memcpy(target + count, piece.get(), static_cast<size_t>(take));
      count += take;
      if (n > take && counted) {
        count_stored(count);
        StoreCount(received, from + count, n - take);
        LogBeyondExpected(n - take, expected);
        *body = std::move(data);
        return false;
      }
      if (n > take) KS_LOG(0, kOperation, "dropped %d bytes beyond the expected length %d", n - take, expected);
      count_stored(count);
    }
  }
  // Without a length of its own the reply ends where the peer closes: bytes
  // it keeps sending past the count fail the download as those that came
  // with the last piece do, whenever they arrive within the moment given.
  if (counted && !first.announces_length) {
    char extra[256];
    int n = source.ReceiveWithin(extra, static_cast<int>(sizeof extra), kBeyondWaitMs);
    if (n > 0) {
      StoreCount(received, from + count, n);
      LogBeyondExpected(n, expected);
      *body = std::move(data);
      return false;
    }
  }
  *body = std::move(data);
  return true;
}

}  // namespace ksnet
