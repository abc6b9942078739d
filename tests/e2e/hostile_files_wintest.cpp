// Hostile files met by a whole run of the starter. A package whose entry
// climbs out of the setup directory: the entry is refused and logged, the
// user's file it aims at stays as it was, nothing lands outside the setup
// directory, and what the unpack wrote before it is removed again: the run
// says it could not save the download and starts nothing. A huge
// access cache and a status file with binary bytes: the client is launched,
// the cache is left alone and the status file keeps every byte.
#include <string>
#include <vector>

#include "e2e/e2e_fixture_win.h"
#include "package/package_writer.h"
#include "fixtures/hostile_file_win.h"
#include "fixtures/raw_package.h"

namespace e2e {
namespace {

TEST_F(StarterEndToEnd, PackageEntryClimbingOutIsRefusedAndTheUsersFileKept) {
  const std::string kNotes = "the user's own notes\r\n";
  const std::string kHostile = "..\\..\\app\\notes.txt";  // from tmp\ks_starter_dir to the starter's folder
  ASSERT_TRUE(kstest::WriteFile(scene_.app() + "\\notes.txt", kNotes));

  std::string archive = kstest::ReadFileOrEmpty(packages_->Client());
  archive += kstest::RawCompressedEntry(kHostile, "replaced by the package");
  ASSERT_TRUE(package::AppendFile(&archive, "late.txt", "after the refused entry"));
  std::string hostile_package = scene_.root() + "\\hostile.pkg";
  ASSERT_TRUE(kstest::WriteFile(hostile_package, archive));
  Serve({"--package", hostile_package});
  StampStarter(StampedSettings(Port()));

  EXPECT_EQ(RunUntilMessageBox(""), "Unable to save the download file");
  EXPECT_TRUE(scene_.Logged("refused name " + kHostile + ": it leads outside the destination")) << LogDump();

  EXPECT_EQ(kstest::ReadFileOrEmpty(scene_.app() + "\\notes.txt"), kNotes);
  EXPECT_FALSE(kstest::FileExists(scene_.tmp() + "\\notes.txt"));
  EXPECT_FALSE(kstest::FileExists(scene_.root() + "\\notes.txt"));
  EXPECT_FALSE(kstest::FileExists(scene_.SetupDirectory())) << "no half setup folder";
  EXPECT_TRUE(scene_.Records().empty());
  EXPECT_EQ(Requests(), (std::vector<std::string>{kSizeRequest, kPackageRequest})) << "no installation report";
  // The archive of a failed pass stays for a look, in the temporary folder.
  EXPECT_EQ(kstest::ReadFileOrEmpty(scene_.tmp() + "\\PCClient.zip"), archive);
}

TEST_F(StarterEndToEnd, HugeAccessCacheAndBinaryStatusFileDoNotStopTheLaunch) {
  const std::string kCache =
      "<__CACHE__>\r\n<__SERVER_ACCESS_SETTING1__></__SERVER_ACCESS_SETTING1__>\r\n"
      "<__GUI_PASSWORD__>pw</__GUI_PASSWORD__>\r\n</__CACHE__>";
  const std::string kStatus = "<__ClientCalledToLaunch__>N</__ClientCalledToLaunch__>\r\n";
  std::string cache = scene_.app() + "\\Cache.xml";
  ASSERT_TRUE(kstest::WriteHostileFile(cache, kstest::HostileKind::kHuge, kCache));
  Serve();
  StampStarter(StampedSettings(Port()));
  InstallClient("N");
  std::string status = ClientFolder() + "\\setup_status.txt";
  ASSERT_TRUE(kstest::WriteHostileFile(status, kstest::HostileKind::kBinaryInside, kStatus));

  ASSERT_TRUE(starter_.Start(scene_, ""));
  ASSERT_TRUE(starter_.WaitForExit(kOutcomeTimeoutMs)) << "log:\n" << LogDump();
  EXPECT_EQ(starter_.ExitCode(), 0u);
  ASSERT_TRUE(StarterProcess::WaitUntil([&] { return scene_.Started("Kestrelon"); }, 20000)) << LogDump();
  EXPECT_EQ(Requests(), std::vector<std::string>{ReportRequest()});

  EXPECT_TRUE(scene_.Logged("refused " + cache + ": larger than 1048576 bytes")) << LogDump();
  EXPECT_TRUE(kstest::HostileFileIntact(cache, kstest::HostileKind::kHuge, kCache));
  std::string launched = kstest::HostileBytes(kstest::HostileKind::kBinaryInside, kStatus);
  launched.replace(launched.find(">N<") + 1, 1, "Y");
  EXPECT_EQ(kstest::ReadFileOrEmpty(status), kstest::AsRewrittenText(launched));
}

}  // namespace
}  // namespace e2e
