// The client download against the local account server.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "base/run_failure.h"
#include "net/hlib_win.h"
#include "net/page_mapper.h"
#include "setup/kept_part_file_win.h"
#include "setup/setup_downloader_win.h"
#include "setup/setup_handler_win.h"
#include "fixtures/log_capture.h"
#include "fixtures/recording_interface.h"
#include "fixtures/serve_process_win.h"
#include "fixtures/win_test_util_win.h"

namespace {

// Told as a failure, which the window also shows on its taskbar button.
const Received kIncomplete = {NOTIFY_SHOW_FINAL_MESSAGE, true, "Download is incomplete. Please try it again",
                              FINAL_MESSAGE_FAILURE};

// The real download with the package processing replaced by a note.
class DownloadOnly : public SetupHandler {
 public:
  bool ProcessDownloadedClient() override {
    ++processed;
    return processing_succeeds;
  }
  int processed = 0;
  bool processing_succeeds = true;
};

// A download thread the system would not create.
class UnstartableDownloader : public SetupDownloader {
 public:
  HANDLE Start() override {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
};

std::string PackageBytes(size_t size) {
  std::string bytes(size, '\0');
  unsigned state = 12345;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 16);
  }
  return bytes;
}

class Download : public ::testing::Test {
 protected:
  void SetUp() override {
    HR::ResetSharedState();
    ks::ResetRunFailure();
    handler.SetSetupInterface(&window);
    ks::CopyText(handler.m_sAccountServerName, 512, "127.0.0.1");
    package_path = dir.File("package.bin");
    package = PackageBytes(300000);
    kstest::WriteFile(package_path, package);
  }

  // Starts the server with the package plus `args` and points the worker at it.
  void Serve(std::vector<std::string> args) {
    args.insert(args.begin(), {"--package", package_path});
    server.reset(new kstest::ServeProcess(args));
    ASSERT_TRUE(server->ok());
    handler.m_iAccountServerPort = server->port();
  }

  std::vector<Received> Of(int code) const {
    std::vector<Received> picked;
    for (const Received& r : window.received())
      if (r.code == code) picked.push_back(r);
    return picked;
  }

  kstest::TempDir dir{"download"};
  std::string package_path;
  std::string package;
  std::unique_ptr<kstest::ServeProcess> server;
  RecordingInterface window;
  DownloadOnly handler;
  LogCapture log;
};

TEST_F(Download, CompleteDownloadReportsProgressAndTheSummaryAndHandsOverThePackage) {
  Serve({"--piece-bytes", "30000", "--piece-delay-ms", "40"});
  ASSERT_TRUE(handler.Download());
  EXPECT_EQ(handler.processed, 1);

  std::vector<Received> all = window.received();
  ASSERT_GE(all.size(), 3u);
  EXPECT_EQ(all.front(), Text(NOTIFY_SHOW_MESSAGE, "Connecting ..."));
  EXPECT_EQ(all[1], Text(NOTIFY_SHOW_PROGRESS, "Downloading Kestrelon ..."));
  EXPECT_EQ(all.back().code, NOTIFY_SHOW_FINAL_MESSAGE);
  EXPECT_EQ(all.back().second, FINAL_MESSAGE_SUMMARY);
  EXPECT_EQ(all.back().text.find("Setup Kestrelon ...\n\nSummary - average speed: "), 0u) << all.back().text;
  EXPECT_NE(all.back().text.find(" kbps, total time: 0 seconds"), std::string::npos) << all.back().text;

  // A download of well under ten seconds shows no speed and no time yet.
  std::vector<Received> values = Of(NOTIFY_PROGRESS_VALUES);
  EXPECT_FALSE(values.empty());
  int last_percent = 0;
  for (const Received& v : values) {
    int percent = atoi(v.text.c_str());
    EXPECT_GE(percent, last_percent);
    EXPECT_LE(percent, 100);
    last_percent = percent;
    EXPECT_EQ(v.text.substr(v.text.find(',')), ",0,0") << v.text;
  }

  SetupDownloader* downloader = handler.GetSetupDownloader();
  ASSERT_EQ(downloader->ReceivedBytes(), 300000);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(downloader->m_pPackage), 300000), package);
  EXPECT_TRUE(log.Has("iDownloadSize = 300000"));
  EXPECT_TRUE(log.Has("Download is completed: iExpectedDownloadSize = 300000, actual received = 300000"));
  EXPECT_NE(server->Requests().find("GET /as/wapi/get_client_size?client_type=0&xml_format=Y&client=pc"),
            std::string::npos);
  EXPECT_NE(server->Requests().find("GET /as/wapi/get_client?client_type=0&client=pc"), std::string::npos);
  EXPECT_EQ(ks::RecordedRunFailure(), ks::FailureCause::kNone);
}

TEST_F(Download, BareDigitsAnswerTheSizeToo) {
  Serve({"--size-form", "bare"});
  ASSERT_TRUE(handler.Download());
  EXPECT_TRUE(log.Has("iDownloadSize = 300000")) << log.Dump();
}

TEST_F(Download, ASizeOfLettersMeansNoDownload) {
  Serve({"--size-form", "letters"});
  EXPECT_FALSE(handler.Download());
  EXPECT_EQ(handler.processed, 0);
  EXPECT_EQ(window.received(), std::vector<Received>({Text(NOTIFY_SHOW_MESSAGE, "Connecting ..."), kIncomplete}));
  EXPECT_TRUE(log.HasFragment("Failed to download client from: 127.0.0.1::" + std::to_string(server->port()) +
                              ", iDownloadSize = 0, sDownloadSize = "))
      << log.Dump();
  EXPECT_EQ(server->Requests().find("GET /as/wapi/get_client?"), std::string::npos);
  EXPECT_EQ(ks::RecordedRunFailure(), ks::FailureCause::kBadSize);
}

TEST_F(Download, AServerThatStopsHalfWayGivesTheIncompleteText) {
  Serve({"--cut-after", "150000"});
  EXPECT_FALSE(handler.Download());
  EXPECT_EQ(handler.processed, 0);
  EXPECT_EQ(window.received().back(), kIncomplete);
  EXPECT_TRUE(log.HasFragment("Filed to complete download: iExpectedDownloadSize = 300000, actual received = "))
      << log.Dump();
  EXPECT_EQ(ks::RecordedRunFailure(), ks::FailureCause::kIncompleteDownload);
}

// Once WinInet has failed in the process, every fetch ends with the socket
// fetch, whose result is the call's. A package read whole through WinInet
// whose socket fetch then fails leaves the count at the full size while the
// fetch failed (and its reply buffer is no package): never a completed
// download.
TEST_F(Download, AFailedFetchIsIncompleteEvenWithTheFullCount) {
  HR::bHTTPFailed = true;
  Serve({"--fault-path", "/as/wapi/get_client$", "--fault-agent", "MSIE 6.0", "--close-at-once"});
  EXPECT_FALSE(handler.Download());
  EXPECT_EQ(handler.processed, 0);
  EXPECT_EQ(window.received().back(), kIncomplete);
  EXPECT_TRUE(log.Has("Filed to complete download: iExpectedDownloadSize = 300000, actual received = 300000"))
      << log.Dump();
  EXPECT_TRUE(log.HasFragment("GetPagef failed: "));
}

// Without its thread nothing would ever finish the download the watch
// waits for: the run ends with the failure text instead.
TEST_F(Download, ADownloadThreadThatCannotStartEndsTheRun) {
  delete handler.m_pSetupDownloader;
  handler.m_pSetupDownloader = new UnstartableDownloader();
  Serve({});
  EXPECT_FALSE(handler.Download());
  EXPECT_EQ(handler.processed, 0);
  EXPECT_EQ(window.received().back(), kIncomplete);
  EXPECT_TRUE(log.HasFragment("Failed to start the download thread, error code: 8, error: ")) << log.Dump();
  EXPECT_EQ(ks::RecordedRunFailure(), ks::FailureCause::kInterrupted);
}

// Local archives that cannot be set up end the run as a download that
// failed does, without a request (the downloaded package's road is run whole
// in tests/e2e).
TEST_F(Download, LocalArchivesThatCannotBeProcessedFailTheDownload) {
  handler.m_bClientFilesAvailable = true;
  handler.processing_succeeds = false;
  handler.m_iAccountServerPort = kstest::RefusedPort();
  EXPECT_FALSE(handler.Download());
  EXPECT_EQ(handler.processed, 1);
  EXPECT_EQ(window.received(), std::vector<Received>{kIncomplete});
}

TEST_F(Download, NoServerMeansNoDownload) {
  handler.m_iAccountServerPort = kstest::RefusedPort();
  EXPECT_FALSE(handler.Download());
  EXPECT_EQ(window.received(), std::vector<Received>({Text(NOTIFY_SHOW_MESSAGE, "Connecting ..."), kIncomplete}));
  EXPECT_TRUE(log.HasFragment("iDownloadSize = 0, sDownloadSize = ")) << log.Dump();
  EXPECT_EQ(ks::RecordedRunFailure(), ks::FailureCause::kServerUnreachable);
}

TEST_F(Download, LocalArchivesNeedNoRequest) {
  handler.m_bClientFilesAvailable = true;
  handler.m_iAccountServerPort = kstest::RefusedPort();
  EXPECT_TRUE(handler.Download());
  EXPECT_EQ(handler.processed, 1);
  EXPECT_TRUE(window.received().empty());
  EXPECT_TRUE(log.Has("Download is not needed"));
}

// Two starters of one user may be cut at once: the bytes resumed are the
// ones under the head that was read, whatever the other keeps meanwhile.
TEST(KeptPartFile, BytesComeFromTheFileWhoseHeadWasRead) {
  kstest::TempDir dir("kept");
  KeptPart first;
  first.server = "127.0.0.1:80";
  first.size = 100;
  first.kept = 40;
  first.validator = "\"one\"";
  first.time = static_cast<long long>(time(nullptr));
  const std::string kept(40, 'a');
  const std::string other(40, 'b');
  ASSERT_TRUE(KeptPartFile(dir.path().c_str()).Keep(first, reinterpret_cast<const unsigned char*>(kept.data())));

  KeptPartFile resuming(dir.path().c_str());
  KeptPart found;
  ASSERT_TRUE(resuming.Find(first.server, first.size, &found));
  KeptPart second = first;
  second.validator = "\"two\"";
  KeptPartFile(dir.path().c_str()).Keep(second, reinterpret_cast<const unsigned char*>(other.data()));
  unsigned char bytes[40] = {};
  ASSERT_TRUE(resuming.ReadBytes(found, bytes));
  EXPECT_EQ(found.validator, "\"one\"");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), sizeof bytes), kept);
}

// The pages of the package buffer are mapped just ahead of each receive
// into it: no stored byte changes, and nothing past the buffer's end is
// touched (the buffer starts inside a page and ends where an inaccessible
// page begins; the last receives reach its end).
TEST(PageMapper, ChangesNothingStoredAndStaysInsideTheBuffer) {
  const size_t kPage = 4096;
  char* base = static_cast<char*>(VirtualAlloc(nullptr, 6 * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(base, nullptr);
  DWORD old_protection = 0;
  ASSERT_TRUE(VirtualProtect(base + 5 * kPage, kPage, PAGE_NOACCESS, &old_protection));
  char* buffer = base + 100;
  size_t size = 5 * kPage - 100;
  ksnet::PageMapper mapper(buffer);
  // The first block brought some body bytes with the header.
  size_t count = 1234;
  for (size_t i = 0; i < count; ++i) buffer[i] = static_cast<char>(i * 7 + 1);
  for (size_t piece = 1; count < size; piece = piece * 7 % 3001 + 1) {
    size_t want = std::min<size_t>(3000, size - count);
    mapper.MapAhead(count, count + want);
    size_t n = std::min(piece, want);
    for (size_t i = count; i < count + n; ++i) buffer[i] = static_cast<char>(i * 7 + 1);
    count += n;
  }
  for (size_t i = 0; i < size; ++i) ASSERT_EQ(buffer[i], static_cast<char>(i * 7 + 1)) << i;
  VirtualFree(base, 0, MEM_RELEASE);
}

}  // namespace
