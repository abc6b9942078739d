#pragma once
// Asking for the rest of a body the caller holds in part, and judging the
// reply: "Range: bytes=N-" with "If-Range: <validator>" goes out only when
// the bytes held came with a validator, so a body that changed since is sent
// whole (200) instead of being spliced. Portable: every road (the engine,
// the plain WinInet request, the socket fetch) reads its reply's header
// block through these, and nothing here reads past the block it is given.
#include <cstddef>
#include <string>

namespace ksnet {

// A validator longer than this is no validator anyone sends.
constexpr size_t kValidatorLimit = 256;

// What a counted download holds of its body and what the next request asks.
// Written by the download thread only.
struct RangeState {
  bool resumable = false;  // a cut road's bytes are kept for the next one
  int stored = 0;          // body bytes held from the first on
  std::string validator;   // of the reply those bytes came with; empty: none
  int asked_from = 0;      // where the request in flight asked to start; 0: the whole

  // Where the next request of a body of `size` bytes starts: after the bytes
  // held when there are some, not all, and a validator guards them; else 0.
  int ResumeFrom(int size) const {
    return resumable && !validator.empty() && stored > 0 && stored < size ? stored : 0;
  }
  // Bytes of a reply landed: the buffer holds `held` bytes from the first
  // on, which came with `reply_validator`.
  void Took(int held, const std::string& reply_validator) {
    validator = reply_validator;
    stored = held;
  }
};

// The two header lines of a resumed request, each ended by CR LF.
std::string RangeHeaders(int from, const std::string& validator);

// Whether the text can go into a header line as it is: 1 to kValidatorLimit
// printable ASCII bytes (inner spaces allowed), no '<' (it is kept in a tag
// field), nothing a header line would end at.
bool IsUsableValidator(const std::string& text);

// The value of the first header line named `name` (letter case ignored) in a
// raw header block: the status line, then lines ended by LF or CR LF, up to
// the blank line or the block's end. Blanks around the value are dropped.
bool FindHeader(const char* head, size_t length, const char* name, std::string* value);

// The status code of an "HTTP/x.y NNN" line at the block's start; 0 without one.
int StatusCode(const char* head, size_t length);

// The reply's validator: its ETag when strong (a weak one cannot guard a
// range), else its Last-Modified; empty when neither is usable.
std::string ReplyValidator(const char* head, size_t length);

struct ContentRange {
  long long first = 0;
  long long last = 0;
  long long total = -1;  // -1: "*", the total unknown
};

// "bytes F-L/T" (T may be "*"), with F <= L and, when T is known, L < T.
bool ParseContentRange(const std::string& text, ContentRange* range);

enum class RangeAnswer {
  kWhole,    // 200: the body from its first byte
  kRest,     // 206 that continues exactly at `from` to the end of `size`
  kRefused,  // anything else
};

// How the reply to a request for the bytes from `from` of a body of `size`
// bytes goes on.
RangeAnswer JudgeRangeReply(int status, const std::string& content_range, int from, int size);

// The same from a raw header block; `validator` gets the reply's validator.
RangeAnswer JudgeRangeHead(const char* head, size_t length, int from, int size, std::string* validator);

// The reply (its header block) to the request in flight of a download of
// `size` bytes that holds `range`: *from gets where its body starts (0:
// taken whole), *validator the one its bytes will hold once they land.
// False, logged under `operation`, when it cannot continue the bytes held.
bool TakeRangeReply(const char* head, size_t length, const RangeState& range, int size, const char* operation,
                    int* from, std::string* validator);

}  // namespace ksnet
