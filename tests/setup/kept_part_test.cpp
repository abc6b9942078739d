// The head of the part a cut download keeps for the next run: written and
// read back exactly, refused when changed or inconsistent, and used only by
// a run of the same account server and size within a week.
#include "setup/kept_part.h"

#include <gtest/gtest.h>

#include <string>

namespace {

KeptPart Part() {
  KeptPart part;
  part.server = "meet.example.test:8889";
  part.size = 1000;
  part.kept = 900;
  part.validator = "\"v1\"";
  part.time = 1712345678;
  return part;
}

TEST(KeptPart, HeadReadsBackAndRefusesWhatItDidNotWrite) {
  std::string head = KeptHead(Part());
  std::string file = head + std::string(900, 'b');
  KeptPart read;
  size_t head_length = 0;
  ASSERT_TRUE(ReadKeptHead(file.data(), file.size(), &read, &head_length));
  EXPECT_EQ(head_length, head.size());
  EXPECT_EQ(KeptHead(read), head);

  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string changed = head;
    changed.replace(changed.find(from), from.size(), to);
    return changed;
  };
  for (const std::string& bad :
       {head.substr(0, head.size() - 1), replaced("900", "1000"), replaced("900", "0"), replaced("900", "+900"),
        replaced("1000", "99999999999"), replaced("\"v1\"", ""), replaced("1712345678", "-1"),
        std::string(1, '\n') + head, std::string(kKeptHeadLimit, 'x') + head}) {
    EXPECT_FALSE(ReadKeptHead(bad.data(), bad.size(), &read, &head_length)) << bad;
  }

  KeptPart unkeepable = Part();
  unkeepable.validator = "a\r\nb";
  EXPECT_EQ(KeptHead(unkeepable), "");
  unkeepable = Part();
  unkeepable.kept = unkeepable.size;
  EXPECT_EQ(KeptHead(unkeepable), "");
}

TEST(KeptPart, UsedOnlyBySameServerAndSizeWithinAWeek) {
  KeptPart part = Part();
  const long long kept_at = part.time;
  EXPECT_EQ(KeptPartMismatch(part, "meet.example.test:8889", 1000, kept_at + 60), nullptr);
  EXPECT_EQ(KeptPartMismatch(part, "meet.example.test:8889", 1000, kept_at + kKeptPartLifetimeSeconds - 1), nullptr);
  EXPECT_NE(KeptPartMismatch(part, "meet.example.test:8889", 1000, kept_at + kKeptPartLifetimeSeconds), nullptr);
  EXPECT_NE(KeptPartMismatch(part, "meet.example.test:8889", 1000, kept_at - 1), nullptr);
  EXPECT_NE(KeptPartMismatch(part, "meet.example.test:443", 1000, kept_at), nullptr);
  EXPECT_NE(KeptPartMismatch(part, "meet.example.test:8889", 1001, kept_at), nullptr);
}

}  // namespace
