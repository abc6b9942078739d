#pragma once
// The access roads each request of a run took, read from its log records.
// Two requests may run at once (the installation report beside the
// download), and the log does not say which thread wrote a record: a record
// that names its request's path is filed under that request; one that does
// not goes to the request whose open road it continues, the longest open
// first, since each thread writes its own records in order: a result to a
// road still waiting for one, proxy credentials to a road the proxy
// refused.
#include <string>
#include <vector>

#include "support/log_reader.h"

namespace kslog {

// One way a request tried to reach its server, and how it went.
struct Attempt {
  enum Kind { kEngine, kScript, kPlain, kSocket, kOther } kind = kOther;
  std::string request;  // path of the request, as the log shows it
  std::string road;
  std::string result;  // "" while the log has not told
  bool failed = false;
  bool timed_out = false;       // given up at a receive limit
  bool connect_failed = false;  // the server was not reached at all
  bool credentials = false;     // the server or proxy asked for credentials (401/407) and did not get them
};

class RoadReader {
 public:
  void Read(const LogRecord& record);
  // Attempts still open when the log ends have no result.
  const std::vector<Attempt>& Finish();
  const std::string& server() const { return server_; }

 private:
  struct Request {
    std::string path;
    int open = -1;  // its attempt still taking records, or -1
    bool ended = false;
    bool skipped = false;  // its engine was skipped for 127.0.0.1
    bool past_engine = false;
  };

  void Begin(const std::string& path);
  void End(Request& request, const char* unfinished);
  Request& Named(const std::string& path);
  Attempt& Open(Request& request, Attempt::Kind kind, const std::string& road);
  // The open attempt of that kind opened first (of those `takes` accepts,
  // when given), or null.
  Attempt* Oldest(Attempt::Kind kind, bool (*takes)(const Attempt&));
  void ReadEngine(const std::string& message);
  void ReadScript(const std::string& message);
  void ReadSkip();
  void ReadCaller(const LogRecord& record);

  std::vector<Attempt> attempts_;
  std::vector<Request> requests_;  // in the order they began
  std::string server_;
};

}  // namespace kslog
