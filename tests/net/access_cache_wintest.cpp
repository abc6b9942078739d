// The access-cache file: creation, field reads and rewrites, remembering and
// forgetting settings, and two processes rewriting it at once.
#include <gtest/gtest.h>

#include <string>

#include "net/cache_file_text.h"
#include "net/hlib_win.h"
#include "net/my_configure_win.h"
#include "net/net_fixture_win.h"
#include "fixtures/log_capture.h"
#include "fixtures/win_test_util_win.h"
#include "base/tag_field.h"
#include "base/wide_text.h"

namespace {

const char* kOpen = ksnet::kServerAccessOpeningTag;
const char* kClose = ksnet::kServerAccessClosingTag;

std::string Field(const std::string& value) {
  return std::string("<__CACHE__>\r\n") + kOpen + value + kClose + "\r\n<__GUI_PASSWORD__>pw</__GUI_PASSWORD__>\r\n</__CACHE__>";
}

TEST(MyConfigure, CreatesAMissingCacheFileAndKeepsAnExistingOne) {
  kstest::TempDir dir;
  MyConfigure configure(0);
  ASSERT_TRUE(configure.UseCacheFile(dir.File("Cache.xml").c_str()));
  EXPECT_EQ(kstest::ReadFileOrEmpty(dir.File("Cache.xml")),
            "<__CACHE__>\r\n<__SERVER_ACCESS_SETTING1__></__SERVER_ACCESS_SETTING1__>\r\n</__CACHE__>");
  kstest::WriteFile(dir.File("Cache.xml"), Field("kept"));
  ASSERT_TRUE(configure.UseCacheFile(dir.File("Cache.xml").c_str()));
  EXPECT_EQ(kstest::ReadFileOrEmpty(dir.File("Cache.xml")), Field("kept"));
  EXPECT_FALSE(configure.UseCacheFile((dir.File("missing-folder") + "\\Cache.xml").c_str()));
}

TEST(MyConfigure, ReadsAndReplacesOneFieldDroppingTextAfterTheEnd) {
  kstest::TempDir dir;
  std::string path = dir.File("Cache.xml");
  kstest::WriteFile(path, Field("old") + "\r\ntrailing junk");
  MyConfigure configure(0);
  configure.UseCacheFile(path.c_str());
  char value[64];
  ASSERT_TRUE(configure.ReadConfigure(kOpen, kClose, value, sizeof value));
  EXPECT_STREQ(value, "old");
  ASSERT_TRUE(configure.WriteConfigure(kOpen, kClose, "a\t80\tN\tD\t\t"));
  EXPECT_EQ(kstest::ReadFileOrEmpty(path), Field("a\t80\tN\tD\t\t"));  // other fields stay
  ASSERT_TRUE(configure.ReadConfigure(kOpen, kClose, value, sizeof value));
  EXPECT_STREQ(value, "a\t80\tN\tD\t\t");
  char tiny[4];
  LogCapture log;
  EXPECT_FALSE(configure.ReadConfigure(kOpen, kClose, tiny, sizeof tiny));  // refused, not cut
  EXPECT_STREQ(tiny, "");
}

TEST(MyConfigure, FieldIsNeverAddedAndMissingFileFails) {
  kstest::TempDir dir;
  std::string path = dir.File("Cache.xml");
  kstest::WriteFile(path, "<__CACHE__><__OTHER__>x</__OTHER__></__CACHE__>");
  MyConfigure configure(0);
  configure.UseCacheFile(path.c_str());
  LogCapture log;
  char value[64] = "unchanged";
  EXPECT_FALSE(configure.ReadConfigure(kOpen, kClose, value, sizeof value));
  EXPECT_FALSE(configure.WriteConfigure(kOpen, kClose, "v"));
  EXPECT_EQ(kstest::ReadFileOrEmpty(path), "<__CACHE__><__OTHER__>x</__OTHER__></__CACHE__>");
  EXPECT_TRUE(log.Records().empty()) << log.Dump();  // silently

  DeleteFileA(path.c_str());
  EXPECT_FALSE(configure.ReadConfigure(kOpen, kClose, value, sizeof value));
  EXPECT_FALSE(configure.WriteConfigure(kOpen, kClose, "v"));
  EXPECT_TRUE(log.Has("failed to open " + path));
  EXPECT_FALSE(kstest::FileExists(path));  // never created by a write
}

TEST(MyConfigure, OffSwitchTouchesNothing) {
  kstest::TempDir dir;
  std::string path = dir.File("Cache.xml");
  kstest::WriteFile(path, Field("old"));
  MyConfigure configure(1);
  configure.UseCacheFile(path.c_str());
  char value[16] = "mine";
  EXPECT_TRUE(configure.ReadConfigure(kOpen, kClose, value, sizeof value));
  EXPECT_STREQ(value, "mine");
  EXPECT_TRUE(configure.WriteConfigure(kOpen, kClose, "new"));
  EXPECT_EQ(kstest::ReadFileOrEmpty(path), Field("old"));
}

TEST(MyConfigure, SecondInitializeFails) {
  MyConfigure::Initialize(0);
  LogCapture log;
  EXPECT_FALSE(MyConfigure::Initialize(0));
  EXPECT_TRUE(log.Has("m_oMyConfigureSingleton exist"));
  EXPECT_NE(MyConfigure::GetInstance(), nullptr);
}

// The process's cache file for the HR tests: a fresh Cache.xml per test.
class AccessCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HR::ResetSharedState();
    MyConfigure::Initialize(0);
    path_ = dir_.File("Cache.xml");
    MyConfigure::GetInstance()->UseCacheFile(path_.c_str());
  }
  void TearDown() override { HR::ResetSharedState(); }
  std::string Stored() {
    std::string value;
    Utility::GetTagValue(kstest::ReadFileOrEmpty(path_).c_str(), kOpen, kClose, value);
    std::string lines;  // a text file: CR LF on disk
    for (char c : value)
      if (c != '\r') lines += c;
    return lines;
  }
  // Text after the end tag disappears with the next write, so it shows
  // whether a write happened.
  void MarkFile() { kstest::WriteFile(path_, kstest::ReadFileOrEmpty(path_) + "MARK"); }
  bool Written() { return kstest::ReadFileOrEmpty(path_).find("MARK") == std::string::npos; }

  kstest::TempDir dir_;
  std::string path_;
  HLib lib_;
};

TEST_F(AccessCacheTest, AddRemembersOnceAndReplacesPerHostAndPort) {
  lib_.AddCache("as.example", 8889, false, 'D', "", "");
  EXPECT_EQ(Stored(), "as.example\t8889\tN\tD\t\t");
  MarkFile();
  lib_.AddCache("as.example", 8889, false, 'D', "", "");
  EXPECT_FALSE(Written());  // nothing new, nothing written
  lib_.AddCache("as.example", 8889, false, 'P', "<local>", "proxy:3128");
  EXPECT_TRUE(Written());
  EXPECT_EQ(Stored(), "as.example\t8889\tN\tP\t<local>\tproxy:3128");
  lib_.AddCache("other.example", 8889, true, 'L', nullptr, nullptr);
  EXPECT_EQ(Stored(), "as.example\t8889\tN\tP\t<local>\tproxy:3128\nother.example\t8889\tY\tL\t\t");
}

TEST_F(AccessCacheTest, RecordUnderTheAddressIsReplacedForTheName) {
  lib_.AddCache("127.0.0.1", 8889, false, 'D', "", "");
  lib_.AddCache("localhost", 8889, false, 'L', "", "");
  EXPECT_EQ(Stored(), "localhost\t8889\tN\tL\t\t");
}

TEST_F(AccessCacheTest, RemoveForgetsOnlyTheExactRecord) {
  lib_.AddCache("a.example", 80, false, 'D', "", "");
  lib_.AddCache("b.example", 80, false, 'P', "", "p:1");
  MarkFile();
  lib_.RemoveCache("a.example", 80, true, 'D', "", "");  // differs in the secure field
  EXPECT_FALSE(Written());
  lib_.RemoveCache("a.example", 80, false, 'D', "", "");
  EXPECT_EQ(Stored(), "b.example\t80\tN\tP\t\tp:1");
}

TEST_F(AccessCacheTest, SettingsThatWouldBreakTheListAreNotRemembered) {
  LogCapture log;
  lib_.AddCache("a.example", 80, false, 'P', "x\ny", "p:1");
  lib_.AddCache("a.example", 80, false, 'P', std::string(600, 'b').c_str(), "p:1");
  EXPECT_EQ(Stored(), "");
  EXPECT_TRUE(log.Has("Do not cache this setting sByPass = x\ny"));
  EXPECT_TRUE(log.Has("Too long: iByPassLength = 600, iProxyAddressLength = 3, iServerAccessSettingLength = 0"));
}

TEST(CacheFileMutex, TwoProcessesRewritingAtOnceNeverTearTheFile) {
  kstest::TempDir dir;
  std::string path = dir.File("Cache.xml");
  kstest::WriteFile(path, Field(""));
  std::string program = kstest::BuildDir() + "\\tests\\ks_cache_writer.exe";
  std::vector<HANDLE> children;
  for (const char* writer : {"a", "b"}) {
    std::wstring command = Widen(("\"" + program + "\" \"" + path + "\" " + writer + " 150").c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    CloseHandle(info.hThread);
    children.push_back(info.hProcess);
  }
  for (HANDLE child : children) {
    ASSERT_EQ(WaitForSingleObject(child, 120000), WAIT_OBJECT_0);
    DWORD code = 1000;
    GetExitCodeProcess(child, &code);
    EXPECT_EQ(code, 0u) << "torn or malformed reads";
    CloseHandle(child);
  }
  std::string text = kstest::ReadFileOrEmpty(path);
  EXPECT_EQ(text.find("<__CACHE__>"), 0u);
  EXPECT_EQ(text.size() - text.rfind("</__CACHE__>"), strlen("</__CACHE__>"));
  EXPECT_NE(text.find("<__GUI_PASSWORD__>pw</__GUI_PASSWORD__>"), std::string::npos);
}

}  // namespace
