// The access cache "Cache.xml" as it may be found: empty, binary, huge or
// missing its closing tags. Reading yields no records where there are none,
// and a rewrite never replaces the file by a shortened copy of what could not
// be read whole; the other programs' fields survive.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "net/cache_file_text.h"
#include "net/my_configure_win.h"
#include "fixtures/hostile_file_win.h"
#include "fixtures/log_capture.h"
#include "fixtures/win_test_util_win.h"

namespace {

using kstest::HostileKind;

const char* kOpen = ksnet::kServerAccessOpeningTag;
const char* kClose = ksnet::kServerAccessClosingTag;
const char kOld[] = "as.example\t8889\tN\tD\t\t";
const char kNew[] = "as.example\t8889\tN\tP\t\tproxy:3128";

std::string Sound() {
  return std::string("<__CACHE__>\r\n") + kOpen + kOld + kClose +
         "\r\n<__GUI_PASSWORD__>pw</__GUI_PASSWORD__>\r\n</__CACHE__>";
}

struct Case {
  HostileKind kind;
  bool found;    // the records can be read and rewritten
  bool refused;  // refused for its size, read and write both logged
};

// Without the field (or its closing tag) there is nothing to read and
// nothing to replace: silently no records, as for a fresh file.
const Case kCases[] = {
    {HostileKind::kEmpty, false, false},        {HostileKind::kBinary, false, false},
    {HostileKind::kBinaryInside, true, false},  {HostileKind::kHuge, false, true},
    {HostileKind::kUnclosed, false, false},
};

TEST(HostileCacheFile, ReadsWhatItCanAndNeverShortensTheFile) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(kstest::HostileKindName(c.kind));
    kstest::TempDir dir("hcache");
    std::string path = dir.File("Cache.xml");
    ASSERT_TRUE(kstest::WriteHostileFile(path, c.kind, Sound()));
    MyConfigure configure(0);
    ASSERT_TRUE(configure.UseCacheFile(path.c_str()));  // an existing file is kept as it is
    LogCapture log;

    char value[4096] = "junk";
    EXPECT_EQ(configure.ReadConfigure(kOpen, kClose, value, sizeof value), c.found) << log.Dump();
    EXPECT_STREQ(value, c.found ? kOld : "");
    bool written = configure.WriteConfigure(kOpen, kClose, kNew);
    EXPECT_EQ(written, c.found) << log.Dump();
    if (!c.found && !c.refused) {
      EXPECT_TRUE(log.Records().empty()) << log.Dump();
    }
    if (c.refused) {
      EXPECT_EQ(log.Count("refused " + path + ": larger than 1048576 bytes"), 2) << log.Dump();
    }
    if (!written) {
      EXPECT_TRUE(kstest::HostileFileIntact(path, c.kind, Sound())) << "a failed write changed the file";
      continue;
    }
    // The zero byte, the Ctrl-Z and everything after them up to the cache's
    // end tag are still there, and so is the password field.
    std::string expected = kstest::HostileBytes(c.kind, Sound());
    expected.replace(expected.find(kOld), strlen(kOld), kNew);
    EXPECT_EQ(kstest::ReadFileOrEmpty(path), kstest::AsRewrittenText(expected));
    ASSERT_TRUE(configure.ReadConfigure(kOpen, kClose, value, sizeof value));
    EXPECT_STREQ(value, kNew);
  }
}

}  // namespace
