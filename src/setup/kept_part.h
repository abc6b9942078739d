#pragma once
// What a cut package download leaves for the next run: the bytes received
// from the first on, in a private file of the temporary folder behind a short
// text head of tag fields (the account server, the announced size, the count
// of bytes, the reply's validator and when they were kept), ended by an empty
// line. The next run answered the same size by the same server asks only for
// the rest, guarded by the validator. Portable: the head is built and read
// here, the file is touched in kept_part_file_win.cpp.
#include <cstddef>
#include <string>

// A week: a part older than that is dropped rather than resumed.
const long long kKeptPartLifetimeSeconds = 7LL * 24 * 60 * 60;
// The head is read from the file's first bytes; a longer one is no head.
const size_t kKeptHeadLimit = 1024;

struct KeptPart {
  std::string server;  // "host:port" of the account server
  int size = 0;        // the package size it announced
  int kept = 0;        // bytes kept, from the first on: 0 < kept < size
  std::string validator;
  long long time = 0;  // seconds since 1970 when they were kept
};

// "host:port", as the head names the account server.
std::string KeptServer(const char* host, int port);

// The head for `part`; empty when the part cannot be kept (no usable
// validator, a count outside 1 to size - 1, a server text with a line end or
// a tag, or a head longer than kKeptHeadLimit).
std::string KeptHead(const KeptPart& part);

// Reads a head from the file's first `length` bytes into `part`;
// *head_length is where the kept bytes begin. False for anything that is not
// a whole, consistent head as KeptHead writes it.
bool ReadKeptHead(const char* data, size_t length, KeptPart* part, size_t* head_length);

// Why a part read back cannot complete a download of `size` bytes from
// `server` at `now` (another server, another size, kept a week ago or in the
// future); null when it can.
const char* KeptPartMismatch(const KeptPart& part, const std::string& server, int size, long long now);
