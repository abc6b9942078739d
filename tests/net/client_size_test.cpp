#include <gtest/gtest.h>

#include "net/account_server_api.h"

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

}  // namespace
