// The parameter files the starter reads and never writes ("starter.cfg" and
// its plain twin, "rsp1024hcmd.txt", "KSServiceCache.txt") and its own stamped
// block, as they may be found: empty, binary, huge or missing their closing
// tags. Each ends with a logged refusal or default values, never a crash,
// never a read without bound, and the files stay as they were.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/app_test_util_win.h"
#include "app/embedded_block.h"
#include "app/parameter_cipher.h"
#include "base/codec.h"
#include "setup/setup_handler_win.h"
#include "fixtures/hostile_file_win.h"
#include "fixtures/log_capture.h"

namespace {

using kstest::HostileKind;

const char kSettings[] =
    "<__AccountServerIP__>cfg.kestrelon.test</__AccountServerIP__>\n<__ClientName__>Quorrel</__ClientName__>\n"
    "<__Role__>attendee</__Role__>\n";

// What LoadSetupConfigure made of the file: its result and settings, and
// whether the settings reader takes them for the server and client they name.
struct Loaded {
  bool result;
  std::string settings;
  std::string server;
  std::string client;
};

Loaded Load(LogCapture& log) {
  SetupHandler handler;
  char settings[SetupHandler::kSettingsTextSize];
  memset(settings, 'x', sizeof settings);
  Loaded loaded;
  loaded.result = handler.LoadSetupConfigure(settings);
  EXPECT_NE(memchr(settings, '\0', sizeof settings), nullptr);
  loaded.settings = settings;
  if (!loaded.settings.empty()) handler.ParseSetting(settings);
  loaded.server = handler.m_sAccountServerName;
  loaded.client = handler.m_sClientName;
  EXPECT_TRUE(loaded.result || loaded.settings.empty()) << log.Dump();
  return loaded;
}

TEST(HostileParameterFiles, StarterCfg) {
  for (HostileKind kind : kstest::kHostileKinds) {
    SCOPED_TRACE(kstest::HostileKindName(kind));
    apptest::InFolder folder("khcfg");
    // The cfg's own text has no tags: "missing its closing tags" is an
    // enciphered settings text without them.
    std::string sound = kind == HostileKind::kUnclosed
                            ? Utility::EncodeParameter(kstest::HostileBytes(kind, kSettings))
                            : Utility::EncodeParameter(kSettings);
    std::string path = folder.File("starter.cfg");
    if (kind == HostileKind::kUnclosed)
      ASSERT_TRUE(kstest::WriteFile(path, sound));
    else
      ASSERT_TRUE(kstest::WriteHostileFile(path, kind, sound));
    LogCapture log;
    Loaded loaded = Load(log);
    switch (kind) {
      case HostileKind::kEmpty:
        EXPECT_FALSE(loaded.result);
        EXPECT_TRUE(log.Has("Refused starter.cfg: it holds no settings text")) << log.Dump();
        break;
      case HostileKind::kHuge:
        EXPECT_FALSE(loaded.result);
        EXPECT_TRUE(log.Has("Refused starter.cfg: its settings text is longer than 4095 bytes")) << log.Dump();
        break;
      case HostileKind::kUnclosed:  // loaded as it is; it names no server, the defaults stay
        EXPECT_TRUE(loaded.result);
        EXPECT_TRUE(log.Has("Loaded starter.cfg successfully"));
        EXPECT_EQ(loaded.server, "");
        EXPECT_EQ(loaded.client, "Kestrelon");
        break;
      case HostileKind::kBinaryInside:  // junk after the Base64 text: the settings before it still read
        EXPECT_TRUE(loaded.result);
        EXPECT_EQ(loaded.server, "cfg.kestrelon.test");
        break;
      default:  // binary: some text or none, never one naming a server
        EXPECT_TRUE(log.Has("Loaded starter.cfg successfully") || log.HasFragment("Refused starter.cfg"))
            << log.Dump();
        EXPECT_EQ(loaded.server, "");
        break;
    }
    if (kind == HostileKind::kUnclosed)
      EXPECT_EQ(kstest::ReadFileOrEmpty(path), sound);
    else
      EXPECT_TRUE(kstest::HostileFileIntact(path, kind, sound));
  }
}

TEST(HostileParameterFiles, StarterTxt) {
  for (HostileKind kind : kstest::kHostileKinds) {
    SCOPED_TRACE(kstest::HostileKindName(kind));
    apptest::InFolder folder("khcfg");
    std::string path = folder.File("starter.txt");
    ASSERT_TRUE(kstest::WriteHostileFile(path, kind, kSettings));
    LogCapture log;
    Loaded loaded = Load(log);
    switch (kind) {
      case HostileKind::kEmpty:
        EXPECT_FALSE(loaded.result);
        EXPECT_TRUE(log.Has("Refused starter.txt: it holds no settings text")) << log.Dump();
        break;
      case HostileKind::kBinaryInside:  // a zero byte: not a settings text
      case HostileKind::kHuge:
        EXPECT_FALSE(loaded.result);
        EXPECT_TRUE(log.Has("Refused starter.txt: it is not a settings text of at most 4095 bytes")) << log.Dump();
        break;
      case HostileKind::kUnclosed:
        EXPECT_TRUE(loaded.result);
        EXPECT_EQ(loaded.settings, kstest::HostileBytes(kind, kSettings));
        EXPECT_EQ(loaded.server, "");
        EXPECT_EQ(loaded.client, "Kestrelon");
        break;
      default:
        EXPECT_TRUE(log.Has("Loaded starter.txt successfully") || log.HasFragment("Refused starter.txt"))
            << log.Dump();
        EXPECT_EQ(loaded.server, "");
        break;
    }
    EXPECT_TRUE(kstest::HostileFileIntact(path, kind, kSettings));
  }
}

const char kCommandParameters[] =
    "<__SetupDirectory__>C:\\setup</__SetupDirectory__>\n"
    "<__AccountServerIP__>rsp.kestrelon.test</__AccountServerIP__>\n<__ClientName__>Quorrel</__ClientName__>\n"
    "<__Role__>host</__Role__>\n";

// A downloader's command parameter file: refused (the run stops before any
// download) when it gives no settings text or is far too large; otherwise
// whatever fields it holds before a zero byte are read, the rest default.
TEST(HostileParameterFiles, CommandParameterFile) {
  for (HostileKind kind : kstest::kHostileKinds) {
    SCOPED_TRACE(kstest::HostileKindName(kind));
    kstest::TempDir temp("khtmp");
    kstest::TempFolderOverride override_temp(temp.path());
    std::string path = temp.File("rsp1024hcmd.txt");
    ASSERT_TRUE(kstest::WriteHostileFile(path, kind, kCommandParameters));
    LogCapture log;
    SetupHandler handler;
    ks::CopyText(handler.m_sCommandLine, sizeof handler.m_sCommandLine, "--called_by_downloader");
    bool initialised = handler.InitializeSetup();
    bool load_failed = log.Has("failed to load " + path);
    EXPECT_NE(initialised, load_failed) << log.Dump();
    switch (kind) {
      case HostileKind::kEmpty:
        EXPECT_FALSE(initialised);
        break;
      case HostileKind::kHuge:
        EXPECT_FALSE(initialised);
        EXPECT_TRUE(log.Has("refused " + path + ": larger than 65536 bytes")) << log.Dump();
        break;
      case HostileKind::kBinaryInside:  // the text ends at the zero byte after the first field
        EXPECT_TRUE(initialised);
        EXPECT_STREQ(handler.m_sSetting, "<__SetupDirectory__>C:\\setup</__SetupDirectory__>");
        break;
      case HostileKind::kUnclosed:
        EXPECT_TRUE(initialised);
        EXPECT_EQ(std::string(handler.m_sSetting), kstest::HostileBytes(kind, kCommandParameters));
        break;
      default:
        break;
    }
    // Never a server or client out of a damaged file.
    EXPECT_STREQ(handler.m_sAccountServerName, "");
    EXPECT_STREQ(handler.m_sClientName, "Kestrelon");
    EXPECT_TRUE(kstest::HostileFileIntact(path, kind, kCommandParameters));
  }
}

const char kServiceCache[] =
    "<__USER_APPLICATION_DIRECTORY__>D:\\Apps</__USER_APPLICATION_DIRECTORY__>\r\n"
    "<__DESKTOP_DIRECTORY__>D:\\Desk</__DESKTOP_DIRECTORY__>\r\n"
    "<__START_MENUE_DIRECTORY__>D:\\Menu</__START_MENUE_DIRECTORY__>\r\n";

struct Folders {
  std::string application, desktop, start_menu;
  bool operator==(const Folders& o) const {
    return application == o.application && desktop == o.desktop && start_menu == o.start_menu;
  }
};

Folders InitializeForClient(LogCapture& log) {
  SetupHandler handler;
  ks::CopyText(handler.m_sCommandLine, sizeof handler.m_sCommandLine, "--called_by_client_to_sync");
  EXPECT_TRUE(handler.InitializeSetup()) << log.Dump();
  return Folders{handler.m_sUserApplicationDirectory, handler.m_sDesktopDirectory, handler.m_sStartMenuDirectory};
}

// The service cache: a field it does not hold (empty, binary, unclosed)
// leaves that folder empty; a huge file is refused unread and the folders
// found for this user stay.
TEST(HostileParameterFiles, ServiceCacheFile) {
  apptest::ClientFolder client;
  ASSERT_TRUE(kstest::WriteFile(client.File("rsp1024hcmd.txt"), kCommandParameters));
  Folders own;
  {
    LogCapture log;
    own = InitializeForClient(log);
    ASSERT_NE(own.application, "");
  }
  for (HostileKind kind : kstest::kHostileKinds) {
    SCOPED_TRACE(kstest::HostileKindName(kind));
    std::string path = client.File("KSServiceCache.txt");
    ASSERT_TRUE(kstest::WriteHostileFile(path, kind, kServiceCache));
    LogCapture log;
    Folders found = InitializeForClient(log);
    Folders expected;
    if (kind == HostileKind::kHuge) {
      expected = own;
      EXPECT_TRUE(log.Has("refused " + path + ": larger than 65536 bytes")) << log.Dump();
    } else if (kind == HostileKind::kBinaryInside) {
      expected.application = "D:\\Apps";  // the only field before the zero byte
    }
    EXPECT_TRUE(found == expected) << found.application << "|" << found.desktop << "|" << found.start_menu;
    EXPECT_TRUE(kstest::HostileFileIntact(path, kind, kServiceCache));
  }
}

// A copy of the starter whose stamped block is 1 MiB of Base64 (no stamping
// tool writes one; it is appended by hand): the block is refused, logged, and
// the copy ends the way a copy without parameters does.
TEST(HostileParameterFiles, StampedBlockOfOneMebibyte) {
  std::string protocol = apptest::UniqueName("KsHugeBlock");
  apptest::ProtocolCleanup cleanup(protocol);
  apptest::StarterCopy starter(protocol + "Starter.exe");
  ASSERT_TRUE(starter.copied());
  std::string settings = "<__Role__>attendee</__Role__>\n<__PassThrough__>" + std::string(787000, 'p') +
                         "</__PassThrough__>\n";
  std::string block = BuildEmbeddedBlock(settings, 64);
  ASSERT_GE(block.size(), 1u << 20);
  ASSERT_TRUE(kstest::WriteFile(starter.Path(), kstest::ReadFileOrEmpty(starter.Path()) + block));

  std::string raw_log = starter.Run();
  std::vector<std::string> log = apptest::LogMessages(raw_log);
  ASSERT_TRUE(starter.last().started);
  EXPECT_FALSE(starter.last().timed_out);
  int refused = apptest::FindMessage(log, "Settings block refused: it decodes to 4096 bytes or more");
  int invalid = apptest::FindMessage(log, "Invalid setting");
  int registered = apptest::FindMessage(log, "No Meeting Parameter, sClientName = " + protocol);
  EXPECT_GE(refused, 0);
  EXPECT_GT(invalid, refused);
  EXPECT_GE(apptest::FindMessage(log, "Failed to open sFileName starter.cfg"), 0);
  EXPECT_GT(registered, invalid);
  EXPECT_EQ(raw_log.find("Function: Utility::GetUserDirectory()"), std::string::npos);  // no worker
  EXPECT_FALSE(kstest::FileExists(starter.dir().File("ERRORLOG.TXT")));
}

}  // namespace
