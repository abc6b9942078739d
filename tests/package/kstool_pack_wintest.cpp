// kstool pack and unpack, end to end: a tree packed and unpacked again comes
// back byte for byte, and the operator's archive stays.
#include <gtest/gtest.h>

#include <string>

#include "base/wide_text.h"
#include "fixtures/win_test_util_win.h"

namespace {

TEST(KstoolPack, PackThenUnpackGivesTheSameTree) {
  kstest::TempDir dir;
  std::string tree = dir.File("client");
  CreateDirectoryW(Widen(tree.c_str()).c_str(), nullptr);
  CreateDirectoryW(Widen((tree + "\\bin").c_str()).c_str(), nullptr);
  CreateDirectoryW(Widen((tree + "\\bin\\plugins").c_str()).c_str(), nullptr);
  std::string big(700000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 40503u) >> 7);
  ASSERT_TRUE(kstest::WriteFile(tree + "\\KSInstaller.exe", "MZ installer"));
  ASSERT_TRUE(kstest::WriteFile(tree + "\\bin\\core.dll", big));
  ASSERT_TRUE(kstest::WriteFile(tree + "\\bin\\plugins\\empty.dat", ""));

  std::string archive = dir.File("PCClient.zip");
  kstest::ProcessResult pack = kstest::RunKstool("pack \"" + tree + "\" \"" + archive + "\"");
  ASSERT_EQ(pack.exit_code, 0u) << pack.output;
  EXPECT_NE(pack.output.find("packed 3 files"), std::string::npos) << pack.output;

  std::string out = dir.File("unpacked");
  kstest::ProcessResult unpack = kstest::RunKstool("unpack \"" + archive + "\" \"" + out + "\"");
  ASSERT_EQ(unpack.exit_code, 0u) << unpack.output;
  EXPECT_TRUE(kstest::FileExists(archive)) << "the operator's archive is kept";
  EXPECT_EQ(kstest::ReadFileOrEmpty(out + "\\KSInstaller.exe"), "MZ installer");
  EXPECT_TRUE(kstest::ReadFileOrEmpty(out + "\\bin\\core.dll") == big);
  EXPECT_TRUE(kstest::FileExists(out + "\\bin\\plugins\\empty.dat"));
  EXPECT_EQ(kstest::ReadFileOrEmpty(out + "\\bin\\plugins\\empty.dat"), "");
}

TEST(KstoolPack, BrokenArchiveIsReportedWithTheUnpackerLines) {
  kstest::TempDir dir;
  std::string archive = dir.File("broken.zip");
  ASSERT_TRUE(kstest::WriteFile(archive, std::string("\x06\x00\x00\x00" "a.txt\0" "\x05\x00", 12)));
  kstest::ProcessResult unpack = kstest::RunKstool("unpack \"" + archive + "\" \"" + dir.File("out") + "\"");
  EXPECT_NE(unpack.exit_code, 0u);
  EXPECT_NE(unpack.output.find("CZLib::UnZip: fread lFileLength error"), std::string::npos) << unpack.output;
  EXPECT_TRUE(kstest::FileExists(archive));
}

}  // namespace
