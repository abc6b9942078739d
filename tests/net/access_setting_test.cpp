#include "net/access_setting.h"

#include <gtest/gtest.h>

#include <string>

#include "fixtures/log_capture.h"

namespace {

using ksnet::AddOutcome;

std::string NoAddress() { return std::string(); }

TEST(AccessRecord, SixTabSeparatedFields) {
  EXPECT_EQ(ksnet::FormatAccessRecord("as.example", 8889, false, 'P', "", "proxy:8080"),
            "as.example\t8889\tN\tP\t\tproxy:8080");
  EXPECT_EQ(ksnet::FormatAccessRecord("h", 443, true, 'D', nullptr, nullptr), "h\t443\tY\tD\t\t");
}

TEST(AddAccessRecord, AppendsThenLeavesAnEqualRecordAlone) {
  std::string list;
  EXPECT_EQ(ksnet::AddAccessRecord(&list, "a", 80, false, 'D', "", "", NoAddress), AddOutcome::kAdded);
  EXPECT_EQ(list, "a\t80\tN\tD\t\t");
  EXPECT_EQ(ksnet::AddAccessRecord(&list, "b", 80, false, 'L', "", "", NoAddress), AddOutcome::kAdded);
  EXPECT_EQ(list, "a\t80\tN\tD\t\t\nb\t80\tN\tL\t\t");
  EXPECT_EQ(ksnet::AddAccessRecord(&list, "a", 80, false, 'D', "", "", NoAddress), AddOutcome::kUnchanged);
}

TEST(AddAccessRecord, ReplacesTheRecordForTheSameHostAndPort) {
  std::string list = "a\t80\tN\tD\t\t\nb\t80\tN\tL\t\t";
  EXPECT_EQ(ksnet::AddAccessRecord(&list, "a", 80, false, 'P', "", "p:1", NoAddress), AddOutcome::kReplaced);
  EXPECT_EQ(list, "a\t80\tN\tP\t\tp:1\nb\t80\tN\tL\t\t");
  // Another port of the same host is a record of its own.
  EXPECT_EQ(ksnet::AddAccessRecord(&list, "a", 81, false, 'D', "", "", NoAddress), AddOutcome::kAdded);
}

TEST(AddAccessRecord, RecordStoredUnderTheAddressIsReplaced) {
  std::string list = "10.1.2.3\t8889\tN\tD\t\t";
  int asked = 0;
  auto resolve = [&asked]() {
    ++asked;
    return std::string("10.1.2.3");
  };
  EXPECT_EQ(ksnet::AddAccessRecord(&list, "as.example", 8889, false, 'P', "", "p:1", resolve), AddOutcome::kReplaced);
  EXPECT_EQ(list, "as.example\t8889\tN\tP\t\tp:1");
  EXPECT_EQ(asked, 1);
  // An empty list asks no resolver.
  std::string empty;
  ksnet::AddAccessRecord(&empty, "as.example", 8889, false, 'D', "", "", resolve);
  EXPECT_EQ(asked, 1);
}

TEST(AddAccessRecord, EqualTailOfAnotherHostIsNotTheSameRecord) {
  std::string list = "xa\t80\tN\tD\t\t";
  EXPECT_EQ(ksnet::AddAccessRecord(&list, "a", 80, false, 'D', "", "", NoAddress), AddOutcome::kAdded);
}

TEST(AddAccessRecord, LineEndsAndOverlongFieldsAreNotRemembered) {
  LogCapture log;
  std::string list;
  EXPECT_EQ(ksnet::AddAccessRecord(&list, "a", 80, false, 'P', "x\ny", "p:1", NoAddress), AddOutcome::kRefusedLineEnd);
  EXPECT_TRUE(log.Has("Do not cache this setting sByPass = x\ny"));
  EXPECT_TRUE(log.Has("Do not cache this setting sProxyAddress = p:1"));
  EXPECT_EQ(ksnet::AddAccessRecord(&list, "a", 80, false, 'P', std::string(513, 'b').c_str(), "p:1", NoAddress),
            AddOutcome::kTooLong);
  EXPECT_TRUE(log.Has("Too long: iByPassLength = 513, iProxyAddressLength = 3, iServerAccessSettingLength = 0"));
  EXPECT_EQ(ksnet::AddAccessRecord(&list, "a", 80, false, 'P', std::string(512, 'b').c_str(), "p:1", NoAddress),
            AddOutcome::kAdded);
  EXPECT_TRUE(list.empty() == false);

  // The whole list stays below the 4096-byte text.
  std::string full;
  for (int i = 0; i < 200; ++i)
    ksnet::AddAccessRecord(&full, ("host" + std::to_string(i)).c_str(), 80, false, 'P', std::string(100, 'b').c_str(),
                           "proxy:1", NoAddress);
  EXPECT_LT(full.size() + 128, 4096u + 128);
  EXPECT_LE(full.size(), 4096u - 128);
}

TEST(FindRememberedSetting, MatchesHostOrAddressAndPortText) {
  std::string list = "bad record\nb\t80\tN\tD\t\t\n127.0.0.1\t81\tN\tP\tNULL\tp:1\nc\t0080\tN\tL\t\t";
  ksnet::AccessSetting found;
  EXPECT_TRUE(ksnet::FindRememberedSetting(list, "b", "", 80, &found));
  EXPECT_EQ(found.type, 'D');
  EXPECT_TRUE(ksnet::FindRememberedSetting(list, "localhost", "127.0.0.1", 81, &found));
  EXPECT_EQ(found.type, 'P');
  EXPECT_EQ(found.bypass, "");  // "NULL" reads as empty
  EXPECT_EQ(found.proxy, "p:1");
  EXPECT_EQ(found.record, "127.0.0.1\t81\tN\tP\tNULL\tp:1");
  EXPECT_FALSE(ksnet::FindRememberedSetting(list, "b", "", 81, &found));   // other port
  EXPECT_FALSE(ksnet::FindRememberedSetting(list, "c", "", 80, &found));   // "0080" is not "80"
  EXPECT_FALSE(ksnet::FindRememberedSetting(list, "bad record", "", 80, &found));
  EXPECT_FALSE(ksnet::FindRememberedSetting("b\t80\tN\tD\t\t\textra", "b", "", 80, &found));  // seven fields
}

TEST(RemoveAccessRecord, RemovesOnlyTheExactRecord) {
  std::string list = "a\t80\tN\tD\t\t\nb\t80\tN\tL\t\t";
  EXPECT_FALSE(ksnet::RemoveAccessRecord(&list, "a", 80, true, 'D', "", ""));  // differs in the secure field
  EXPECT_EQ(list, "a\t80\tN\tD\t\t\nb\t80\tN\tL\t\t");
  EXPECT_TRUE(ksnet::RemoveAccessRecord(&list, "a", 80, false, 'D', "", ""));
  EXPECT_EQ(list, "b\t80\tN\tL\t\t");
  EXPECT_TRUE(ksnet::RemoveAccessRecord(&list, "b", 80, false, 'L', nullptr, nullptr));
  EXPECT_EQ(list, "");
}

}  // namespace
