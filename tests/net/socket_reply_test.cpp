#include "net/socket_reply.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "fixtures/log_capture.h"
#include "net/range_reply.h"

namespace {

// Hands out scripted segments, one per receive (cut to the capacity asked
// for, the rest kept for the next receive); then 0 (peer closed).
class ScriptedSource : public ksnet::ReplySource {
 public:
  explicit ScriptedSource(std::vector<std::string> segments) : segments_(std::move(segments)) {}
  int Receive(char* buffer, int capacity) override {
    ++receives;
    if (counter != nullptr) seen_counts.push_back(counter->load());
    if (next_ >= segments_.size()) return closed_result;
    std::string& segment = segments_[next_];
    size_t n = segment.size() < static_cast<size_t>(capacity) ? segment.size() : static_cast<size_t>(capacity);
    memcpy(buffer, segment.data(), n);
    segment.erase(0, n);
    if (segment.empty()) ++next_;
    return static_cast<int>(n);
  }
  int LastError() const override { return 10054; }
  const char* ErrorText(int) const override { return "Connection reset by peer."; }
  // Segments after the count model bytes still to come: they arrive in time
  // only when the test says so.
  int ReceiveWithin(char* buffer, int capacity, int) override {
    return more_arrives_in_time ? Receive(buffer, capacity) : 0;
  }

  bool more_arrives_in_time = false;
  int receives = 0;
  int closed_result = 0;
  std::atomic<int>* counter = nullptr;
  std::vector<int> seen_counts;  // counter value at each receive

 private:
  std::vector<std::string> segments_;
  size_t next_ = 0;
};

struct Outcome {
  bool ok;
  std::string body;
  int body_size;
  bool has_body;
  int counter;
};

Outcome Receive(ScriptedSource& source, int expected = 0, bool small = false) {
  std::unique_ptr<char[]> body;
  int size = -1;
  std::atomic<int> counter(-1);
  if (source.counter == nullptr) source.counter = &counter;
  Outcome o;
  o.ok = ksnet::ReceiveReply(source, expected, small, &body, &size, source.counter);
  o.has_body = body != nullptr;
  o.body_size = size;
  o.counter = source.counter->load();
  // What was stored: the count, but never more than the body holds (a
  // counted download may count bytes beyond it that it never stored).
  int stored = o.counter < size ? o.counter : size;
  if (body && size > 0) o.body.assign(body.get(), static_cast<size_t>(stored > 0 ? stored : 0));
  return o;
}

const std::string kHead5 = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n";

TEST(ReceiveReply, WholeReplyInOneSegment) {
  ScriptedSource source({kHead5 + "abcde"});
  Outcome o = Receive(source);
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(o.body, "abcde");
  EXPECT_EQ(o.body_size, 5);
  EXPECT_EQ(o.counter, 5);
  EXPECT_EQ(source.receives, 1);  // nothing more is read once the length is there
}

TEST(ReceiveReply, CounterGrowsPerSegment) {
  std::atomic<int> counter(0);
  ScriptedSource source({kHead5, "ab", "c", "de"});
  source.counter = &counter;
  Outcome o = Receive(source);
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(o.body, "abcde");
  // Seen at the start of each receive: before the header, then after 0, 2, 3.
  EXPECT_EQ(source.seen_counts, (std::vector<int>{0, 0, 2, 3}));
  EXPECT_EQ(o.counter, 5);
}

TEST(ReceiveReply, ManySmallSegmentsOfALargeBody) {
  std::string body(200000, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 + 3);
  std::vector<std::string> segments = {"HTTP/1.0 200 OK\r\nContent-Length: 200000\r\n\r\n"};
  for (size_t i = 0; i < body.size(); i += 997) segments.push_back(body.substr(i, 997));
  ScriptedSource source(segments);
  Outcome o = Receive(source, 0, true);
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(o.body, body);
}

TEST(ReceiveReply, MissingContentLengthTakesTheFirstSegmentOnly) {
  LogCapture log;
  ScriptedSource source({"HTTP/1.0 200 OK\r\nServer: x\r\n\r\nhello", " never read"});
  Outcome o = Receive(source);
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(o.body_size, 5);
  EXPECT_EQ(o.counter, 5);
  EXPECT_EQ(o.body, "hello");
  EXPECT_EQ(source.receives, 1);
  EXPECT_TRUE(log.Has("missing Content-Length"));
}

TEST(ReceiveReply, ZeroLengthMeansNoBody) {
  LogCapture log;
  ScriptedSource source({"HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n"});
  Outcome o = Receive(source);
  EXPECT_TRUE(o.ok);
  EXPECT_FALSE(o.has_body);
  EXPECT_EQ(o.body_size, 0);
  EXPECT_TRUE(log.Has("no new download"));
}

// A counted download knows its length: the header may confirm it or be
// silent, but a reply announcing another length is refused at once, none
// of its body taken.
TEST(ReceiveReply, GivenLengthRefusesAnotherAnnouncedLength) {
  LogCapture log;
  for (const char* value : {"99", "2", "0", "-3", "none", "99999999999999999999"}) {
    ScriptedSource source({std::string("HTTP/1.0 200 OK\r\nContent-Length: ") + value + "\r\n\r\nabc", "def"});
    Outcome o = Receive(source, 3);
    EXPECT_FALSE(o.ok) << value;
    EXPECT_EQ(o.counter, 0) << value;
    EXPECT_EQ(source.receives, 1) << value;
  }
  EXPECT_EQ(log.Count("Content-Length does not match the expected length 3, refused"), 6);
  for (const char* head : {"HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\n", "HTTP/1.0 200 OK\r\nServer: x\r\n\r\n"}) {
    ScriptedSource source({std::string(head) + "abc"});
    Outcome o = Receive(source, 3);
    EXPECT_TRUE(o.ok) << head;
    EXPECT_EQ(o.body_size, 3);
    EXPECT_EQ(o.body, "abc");
  }
}

// Bytes beyond a counted length fail the download: counted, never stored
// (the room is exactly the length, with a guard after it).
TEST(ReceiveReply, BytesBeyondAGivenLengthFailTheDownload) {
  struct Case {
    std::vector<std::string> segments;
    int counter;
    int beyond;
  };
  const Case cases[] = {
      {{kHead5 + "abcdeXYZ"}, 8, 3},                 // in the first block
      {{kHead5 + "ab", "cdeXYZXYZ"}, 11, 6},         // in a later piece
      {{"HTTP/1.0 200 OK\r\n\r\nabcdeXY"}, 7, 2},  // no length announced
      {{"HTTP/1.0 200 OK\r\n\r\nab", "cde", "XY"}, 7, 2},  // none announced, more comes after the count
  };
  for (const Case& c : cases) {
    LogCapture log;
    ScriptedSource source(c.segments);
    source.more_arrives_in_time = true;
    std::string room = "-----|guard|";
    std::unique_ptr<char[]> body;
    int size = 0;
    std::atomic<int> counter(0);
    EXPECT_FALSE(ksnet::ReceiveReply(source, 5, true, &body, &size, &counter, &room[0], 5));
    EXPECT_EQ(room, "abcde|guard|");
    EXPECT_EQ(counter.load(), c.counter);
    EXPECT_TRUE(log.Has("received " + std::to_string(c.beyond) + " bytes beyond the expected length 5, refused"))
        << log.Dump();
  }
}

// A length the caller knows is all it asks for: once the count is in,
// nothing more is received, whether or not the reply announced a length (a
// keep-alive peer would hold the connection open). Bytes beyond it that
// came with the last expected ones still fail the download (above).
TEST(ReceiveReply, GivenLengthIsNeverReadPast) {
  const std::string bare = "HTTP/1.0 200 OK\r\nServer: x\r\n\r\n";
  for (const std::string& head : {bare, kHead5}) {
    ScriptedSource source({head + "abc", "de", "never asked for"});
    Outcome o = Receive(source, 5);
    EXPECT_TRUE(o.ok) << head;
    EXPECT_EQ(o.body, "abcde");
    EXPECT_EQ(o.counter, 5);
    EXPECT_EQ(source.receives, 2);
  }
}

TEST(ReceiveReply, ContentLengthEqualsReadsLikeAtoiButStrictly) {
  struct Case {
    const char* text;
    int expected;
    bool equal;
  };
  const Case cases[] = {
      {"5", 5, true},          {" 5", 5, true},          {"5 bytes", 5, true},
      {"+5", 5, true},         {"6", 5, false},          {"", 0, true},
      {"-5", -5, false},       {"2147483647", 2147483647, true},
      {"4294967301", 5, false},  // 2^32 + 5 must not wrap to 5
      {"00000000000000000000000000000005", 5, false},  // longer than a length text may be
  };
  for (const Case& c : cases)
    EXPECT_EQ(ksnet::ContentLengthEquals(c.text, strlen(c.text), c.expected), c.equal) << c.text;
  EXPECT_FALSE(ksnet::ContentLengthEquals(nullptr, 0, 0));
}

TEST(ReceiveReply, HeaderLongerThanTheFirstSegment) {
  {
    LogCapture log;
    ScriptedSource source({"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n", "\r\nabcde"});
    EXPECT_FALSE(Receive(source).ok);
    EXPECT_TRUE(log.Has("invalid header"));
  }
  {
    // Without a length the first segment is the body, as received.
    ScriptedSource source({"HTTP/1.0 200 OK\r\nServer: x\r\n", "\r\nabc"});
    Outcome o = Receive(source);
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.body, "HTTP/1.0 200 OK\r\nServer: x\r\n");
  }
  {
    // A header that fills the whole first block may go on: refused.
    LogCapture log;
    ScriptedSource source({"HTTP/1.0 200 OK\r\nX: " + std::string(70000, 'x')});
    EXPECT_FALSE(Receive(source).ok);
    EXPECT_TRUE(log.Has("invalid header"));
  }
}

TEST(ReceiveReply, EarlyCloseFailsWithThePartialBody) {
  LogCapture log;
  ScriptedSource source({kHead5 + "ab", "c"});
  std::unique_ptr<char[]> body;
  int size = 0;
  std::atomic<int> counter(0);
  EXPECT_FALSE(ksnet::ReceiveReply(source, 0, false, &body, &size, &counter));
  ASSERT_TRUE(body != nullptr);
  EXPECT_EQ(std::string(body.get(), 3), "abc");
  EXPECT_EQ(counter.load(), 3);
  EXPECT_TRUE(log.Has("recv() iReturn == -1, error code: 10054, error: Connection reset by peer."));
}

// A package is held once: a body that fits the caller's room is received
// into it, with no block of its own; one that does not fit gets its block.
TEST(ReceiveReply, BodyGoesStraightIntoTheCallersRoomWhenItFits) {
  std::atomic<int> counter(0);
  {
    ScriptedSource source({kHead5 + "ab", "cdeXY"});
    std::string room(5, '-');
    std::unique_ptr<char[]> body;
    int size = 0;
    EXPECT_TRUE(ksnet::ReceiveReply(source, 0, false, &body, &size, &counter, &room[0], room.size()));
    EXPECT_TRUE(body == nullptr);
    EXPECT_EQ(size, 5);
    EXPECT_EQ(room, "abcde");  // the two bytes beyond the length are not stored
    EXPECT_EQ(counter.load(), 5);
  }
  {
    ScriptedSource source({kHead5 + "abcde"});
    std::string room(4, '-');
    std::unique_ptr<char[]> body;
    int size = 0;
    EXPECT_TRUE(ksnet::ReceiveReply(source, 0, false, &body, &size, &counter, &room[0], room.size()));
    ASSERT_TRUE(body != nullptr);
    EXPECT_EQ(std::string(body.get(), 5), "abcde");
    EXPECT_EQ(room, "----");
  }
  {
    LogCapture log;
    ScriptedSource source({kHead5 + "ab", "c"});
    std::string room(8, '-');
    std::unique_ptr<char[]> body;
    int size = 0;
    EXPECT_FALSE(ksnet::ReceiveReply(source, 0, false, &body, &size, &counter, &room[0], room.size()));
    EXPECT_TRUE(body == nullptr);
    EXPECT_EQ(room, "abc-----");  // the partial body stays where it arrived
    EXPECT_EQ(counter.load(), 3);
  }
}

TEST(ReceiveReply, NothingReceivedFails) {
  LogCapture log;
  ScriptedSource source({});
  source.closed_result = -1;
  EXPECT_FALSE(Receive(source).ok);
  EXPECT_TRUE(log.HasFragment("recv() iReturn == -1"));
}

TEST(ReceiveReply, BytesBeyondTheLengthAreDroppedNotStored) {
  LogCapture log;
  {
    ScriptedSource source({kHead5 + "abcdeXYZ"});  // already in the first segment
    Outcome o = Receive(source);
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.body, "abcde");
    EXPECT_EQ(o.counter, 5);
  }
  {
    ScriptedSource source({kHead5 + "ab", "cdeXYZXYZ"});  // in a later piece
    Outcome o = Receive(source);
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.body, "abcde");
    EXPECT_EQ(o.counter, 5);
  }
  EXPECT_EQ(log.Count("dropped 3 bytes beyond the expected length 5"), 1);
  EXPECT_EQ(log.Count("dropped 6 bytes beyond the expected length 5"), 1);
}

TEST(ReceiveReply, ContentLengthOutOfRangeOrOverlongIsRefused) {
  LogCapture log;
  for (const char* value : {"2147483648", "99999999999999999999", "-1", "-2147483648"}) {
    ScriptedSource source({std::string("HTTP/1.0 200 OK\r\nContent-Length: ") + value + "\r\n\r\nabc"});
    EXPECT_FALSE(Receive(source).ok) << value;
  }
  EXPECT_EQ(log.Count("invalid Content-Length, refused"), 4);
  ScriptedSource overlong({"HTTP/1.0 200 OK\r\nContent-Length:" + std::string(40, ' ') + "5\r\n\r\nabcde"});
  EXPECT_FALSE(Receive(overlong).ok);
  EXPECT_TRUE(log.Has("invalid header"));
  // The largest count is still a length.
  ksnet::FirstBlock first = ksnet::AnalyzeFirstBlock("Content-Length: 2147483647\r\n\r\n", 31, 0, false);
  EXPECT_EQ(first.kind, ksnet::FirstBlockKind::kLength);
  EXPECT_EQ(first.expected_size, 2147483647);
}

TEST(ReceiveReply, ContentLengthReadLikeAtoi) {
  std::string head = "HTTP/1.0 200 OK\r\nContent-Length:   3 bytes\r\n\r\nabc";
  EXPECT_EQ(ksnet::AnalyzeFirstBlock(head.data(), head.size(), 0, false).expected_size, 3);
  head = "HTTP/1.0 200 OK\r\nContent-Length: none\r\n\r\nabc";
  EXPECT_EQ(ksnet::AnalyzeFirstBlock(head.data(), head.size(), 0, false).expected_size, 0);
  head = "HTTP/1.0 200 OK\r\ncontent-length: 3\r\n\r\nabc";  // exact, case-sensitive search
  EXPECT_EQ(ksnet::AnalyzeFirstBlock(head.data(), head.size(), 0, false).kind, ksnet::FirstBlockKind::kNoContentLength);
}

TEST(ReceiveReply, ContentLengthInsideTheBodyAnnouncesNothing) {
  ScriptedSource source({"HTTP/1.0 200 OK\r\n\r\nContent-Length: 999\r\n"});
  Outcome o = Receive(source);
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(o.body, "Content-Length: 999\r\n");
}

// A body that is there at once is taken in large receives straight into the
// body, whatever the piece size; only its last piece (65535 or 14335 bytes)
// goes through the piece buffer.
TEST(ReceiveReply, BodyThatIsThereIsTakenInFewReceives) {
  std::string body(300000, 'b');
  for (bool small : {false, true}) {
    ScriptedSource source({"HTTP/1.0 200 OK\r\nContent-Length: 300000\r\n\r\n", body});
    Outcome o = Receive(source, 0, small);
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.body, body);
    EXPECT_EQ(source.receives, 1 + 2) << small;
  }
}

// The reply to a request for the rest of a body the room holds in part: only
// a 206 that continues exactly where the held bytes end and runs to the end
// of the whole is spliced on; a 200 is taken whole with its own validator;
// anything else fails before a byte of it is taken, and the bytes held stay.
TEST(ReceiveReply, ResumedReplyContinuesTheBytesHeldOrIsTakenWhole) {
  const std::string whole = "0123456789";  // the body; the room holds "0123" of an older copy
  struct Case {
    const char* name;
    std::string reply;
    bool ok;
    std::string room;  // afterwards
    int stored;
    const char* validator;
  };
  const std::string rest = "HTTP/1.1 206 Partial Content\r\nContent-Length: 6\r\nETag: \"v1\"\r\n";
  const Case cases[] = {
      {"the rest", rest + "Content-Range: bytes 4-9/10\r\n\r\n456789", true, whole, 10, "\"v1\""},
      {"the rest in lower case", "HTTP/1.1 206 x\r\ncontent-range:  bytes 4-9/10 \r\n\r\n456789", true, whole, 10,
       "\"v1\""},
      {"changed: whole", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\nETag: \"v2\"\r\n\r\nabcdefghij", true,
       "abcdefghij", 10, "\"v2\""},
      {"changed, cut", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\nLast-Modified: Mon\r\n\r\nab", false,
       std::string("ab23") + std::string(6, '\0'), 2, "Mon"},
      {"changed, nothing came", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\nETag: \"v2\"\r\n\r\n", false,
       "0123" + std::string(6, '\0'), 4, "\"v1\""},
      {"the rest, cut", rest + "Content-Range: bytes 4-9/10\r\n\r\n45", false, "012345" + std::string(4, '\0'), 6,
       "\"v1\""},
      {"another start", rest + "Content-Range: bytes 3-9/10\r\n\r\n3456789", false, "0123" + std::string(6, '\0'),
       4, "\"v1\""},
      {"another total", rest + "Content-Range: bytes 4-9/11\r\n\r\n456789", false, "0123" + std::string(6, '\0'),
       4, "\"v1\""},
      {"no Content-Range", rest + "\r\n456789", false, "0123" + std::string(6, '\0'), 4, "\"v1\""},
      {"not satisfiable", "HTTP/1.1 416 x\r\nContent-Range: bytes */10\r\n\r\n", false,
       "0123" + std::string(6, '\0'), 4, "\"v1\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    char room[10] = {'0', '1', '2', '3'};
    ksnet::RangeState range;
    range.resumable = true;
    range.stored = 4;
    range.validator = "\"v1\"";
    range.asked_from = range.ResumeFrom(10);
    ASSERT_EQ(range.asked_from, 4);
    ScriptedSource source({c.reply});
    std::unique_ptr<char[]> body;
    int size = 0;
    std::atomic<int> counter(4);
    EXPECT_EQ(ksnet::ReceiveReply(source, 10, false, &body, &size, &counter, room, sizeof room, &range), c.ok);
    EXPECT_EQ(std::string(room, sizeof room), c.room);
    EXPECT_EQ(range.stored, c.stored);
    EXPECT_EQ(range.validator, c.validator);
    if (c.ok) {
      EXPECT_EQ(counter.load(), 10);
      EXPECT_EQ(size, 10);
    }
  }
}

// What a resumed request asks, and what the header block of a reply says.
TEST(RangeReply, RequestLinesAndHeaderReading) {
  EXPECT_EQ(ksnet::RangeHeaders(4, "\"v1\""), "Range: bytes=4-\r\nIf-Range: \"v1\"\r\n");
  ksnet::RangeState range;
  range.resumable = true;
  range.stored = 4;
  EXPECT_EQ(range.ResumeFrom(10), 0) << "no validator: asked whole";
  range.validator = "x";
  EXPECT_EQ(range.ResumeFrom(10), 4);
  EXPECT_EQ(range.ResumeFrom(4), 0) << "all there";
  range.resumable = false;
  EXPECT_EQ(range.ResumeFrom(10), 0);

  struct Case {
    const char* head;
    int status;
    const char* validator;
  };
  const Case cases[] = {
      {"HTTP/1.1 200 OK\r\nETag: \"a\"\r\nLast-Modified: Tue\r\n\r\n", 200, "\"a\""},
      {"HTTP/1.0 200 OK\r\nETag: W/\"weak\"\r\nLast-Modified: Tue\r\n\r\n", 200, "Tue"},
      {"HTTP/1.1 206 x\nETag: unquoted\n\n", 206, ""},
      {"HTTP/1.1 200 OK\r\n\r\nETag: \"in the body\"\r\n", 200, ""},
      {"HTTP/1.1 200 OK\r\nETag: \"a\r\n", 200, ""},  // cut in the value: no closing quote
      {"HTTP/1.1 200 OK\r\nETag: \"a<b\"\r\n\r\n", 200, ""},  // cannot stand in a tag field
      {"HTTP/1.1 20 OK\r\n\r\n", 0, ""},
      {"HTTP/1.1 2000 OK\r\n\r\n", 0, ""},
      {"ICY 200 OK\r\n\r\n", 0, ""},
      {"", 0, ""},
  };
  for (const Case& c : cases) {
    size_t length = strlen(c.head);
    EXPECT_EQ(ksnet::StatusCode(c.head, length), c.status) << c.head;
    EXPECT_EQ(ksnet::ReplyValidator(c.head, length), c.validator) << c.head;
  }
  EXPECT_FALSE(ksnet::IsUsableValidator(std::string(ksnet::kValidatorLimit + 1, 'x')));
  EXPECT_FALSE(ksnet::IsUsableValidator("a\r\nInjected: yes"));

  ksnet::ContentRange parsed;
  EXPECT_TRUE(ksnet::ParseContentRange("bytes 4-9/10", &parsed));
  EXPECT_EQ(parsed.first, 4);
  EXPECT_EQ(parsed.last, 9);
  EXPECT_EQ(parsed.total, 10);
  EXPECT_TRUE(ksnet::ParseContentRange("bytes 0-0/*", &parsed));
  EXPECT_EQ(parsed.total, -1);
  for (const char* bad : {"bytes 9-4/10", "bytes 4-10/10", "bytes 4-9/10 ", "bytes -9/10", "items 4-9/10",
                          "bytes 4-9", "bytes 99999999999999999999-1/2"})
    EXPECT_FALSE(ksnet::ParseContentRange(bad, &parsed)) << bad;
}

}  // namespace
