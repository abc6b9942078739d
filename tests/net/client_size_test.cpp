#include <gtest/gtest.h>

#include <vector>

#include "net/account_server_api.h"
#include "net/request_trouble.h"

namespace {

// The size reply as the download step reads it. A number no 32-bit count can
// hold is no size: it must not saturate into a 2 GiB download or wrap into a
// small one.
TEST(ParseClientSize, TagBareAndHostileReplies) {
  struct Case {
    const char* reply;
    int size;
  };
  const Case cases[] = {
      {"<__ClientSize__>123456</__ClientSize__>", 123456},
      {"123456", 123456},
      {"  123456 bytes", 123456},
      {"<x>1</x><__ClientSize__> 42</__ClientSize__>", 42},
      {"unknown", 0},
      {"", 0},
      {"<__ClientSize__>-5</__ClientSize__>", -5},
      {"-5", -5},
      {"<__ClientSize__>2147483647</__ClientSize__>", 2147483647},
      {"<__ClientSize__>2147483648</__ClientSize__>", 0},
      {"99999999999999999999", 0},
      {"4294967296123", 0},  // would wrap to 123 in 32 bits
      {"-2147483648", -2147483647 - 1},
      {"-99999999999999999999", 0},
      // A field that is there but empty, or unclosed, is not a size either.
      {"<__ClientSize__></__ClientSize__>", 0},
      {"<__ClientSize__>77", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(AccountServer::ParseClientSize(c.reply), c.size) << c.reply;
  EXPECT_EQ(AccountServer::ParseClientSize(nullptr), 0);
}

// Why the size or the package could not be had, from what the requests met;
// the names are those the support desk reads in a log.
TEST(RequestCauses, FromWhatTheRequestsMet) {
  using ks::FailureCause;
  struct Case {
    std::vector<int> errors;  // noted in order
    bool reached, credentials, replied;
    FailureCause size, package;
  };
  const Case cases[] = {
      {{12029, 10061}, false, false, false, FailureCause::kServerUnreachable, FailureCause::kIncompleteDownload},
      {{12007, 11001}, false, false, false, FailureCause::kServerUnreachable, FailureCause::kIncompleteDownload},
      {{12029, 10060}, false, false, false, FailureCause::kNoAnswer, FailureCause::kNoAnswer},
      {{12002}, true, false, false, FailureCause::kNoAnswer, FailureCause::kNoAnswer},
      // A reply that came, whatever else happened, names no size.
      {{12002}, true, false, true, FailureCause::kBadSize, FailureCause::kNoAnswer},
      {{}, true, false, true, FailureCause::kBadSize, FailureCause::kIncompleteDownload},
      // A connection that was made and then broken reached the server.
      {{12152}, false, false, false, FailureCause::kBadSize, FailureCause::kIncompleteDownload},
      {{10054}, false, false, false, FailureCause::kBadSize, FailureCause::kIncompleteDownload},
      {{12029}, true, true, true, FailureCause::kProxyRefused, FailureCause::kProxyRefused},
      {{12002}, false, true, false, FailureCause::kProxyRefused, FailureCause::kProxyRefused},
  };
  for (const Case& c : cases) {
    ksnet::TakeRequestTrouble();
    for (int code : c.errors) ksnet::NoteRequestError(code);
    if (c.reached) ksnet::NoteServerReached();
    if (c.credentials) ksnet::NoteCredentialsAsked();
    ksnet::RequestTrouble trouble = ksnet::TakeRequestTrouble();
    EXPECT_EQ(ksnet::SizeRequestCause(trouble, c.replied), c.size) << ks::FailureCauseName(c.size);
    EXPECT_EQ(ksnet::PackageDownloadCause(trouble), c.package) << ks::FailureCauseName(c.package);
    // Taken means gone.
    ksnet::RequestTrouble again = ksnet::TakeRequestTrouble();
    EXPECT_FALSE(again.reached || again.timed_out || again.credentials_asked);
  }
}

}  // namespace
