// Package archives with entry names that lead out of the destination: up with
// "..", rooted, absolute, UNC or device paths, or with a drive letter. The
// unpacker is run on real files inside a sentinel tree; after each refusal the
// tree holds exactly what it held before plus the entries that came first.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

#include "base/handles_win.h"
#include "base/wide_text.h"
#include "package/package_writer.h"
#include "package/zlibpp_win.h"
#include "fixtures/log_capture.h"
#include "fixtures/raw_package.h"
#include "fixtures/win_test_util_win.h"

namespace {

using kstest::RawCompressedEntry;
using kstest::WrittenEntry;

// Every file below `folder` with its content, by path.
void Snapshot(const std::string& folder, std::map<std::string, std::string>* files) {
  WIN32_FIND_DATAW data;
  ks::UniqueFind find(FindFirstFileW(Widen((folder + "\\*").c_str()).c_str(), &data));
  if (!find) return;
  do {
    std::string name = Narrow(data.cFileName);
    if (name == "." || name == "..") continue;
    std::string path = folder + "\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      Snapshot(path, files);
    else
      (*files)[path] = kstest::ReadFileOrEmpty(path);
  } while (FindNextFileW(find.get(), &data));
}

std::string Slashes(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

TEST(HostileArchive, NamesLeadingOutOfTheDestinationAreRefusedAndWriteNothingThere) {
  kstest::TempDir tree("kshostile");  // tree\sentinel.txt, tree\up\sentinel.txt, tree\up\dest\keep.txt
  kstest::TempDir archives("kshpkg");
  const std::string root = tree.path();
  const std::string destination = root + "\\up\\dest";
  ASSERT_TRUE(kstest::MakeDirectory(root + "\\up") && kstest::MakeDirectory(destination));
  ASSERT_TRUE(kstest::WriteFile(root + "\\sentinel.txt", "root sentinel"));
  ASSERT_TRUE(kstest::WriteFile(root + "\\up\\sentinel.txt", "up sentinel"));
  ASSERT_TRUE(kstest::WriteFile(destination + "\\keep.txt", "kept"));
  std::map<std::string, std::string> expected;
  Snapshot(root, &expected);
  expected[destination + "\\a.txt"] = "A";
  expected[destination + "\\sub\\b.txt"] = "B";

  const std::string drive_relative = root.substr(0, 2) + "evil.txt";  // "Z:evil.txt"
  const std::string kHostile[] = {
      "..\\evil.txt",
      "..\\sentinel.txt",
      "..\\..\\sentinel.txt",
      "sub\\..\\..\\evil.txt",
      "../../evil.txt",
      "sub/../../evil.txt",
      root + "\\evil.txt",                                // absolute with its drive
      root + "\\up\\sentinel.txt",
      root.substr(2) + "\\evil.txt",                      // rooted on the current drive
      Slashes(root.substr(2)) + "/evil.txt",
      "\\\\?\\" + root + "\\evil.txt",                    // device path
      "\\\\localhost\\" + root.substr(0, 1) + "$\\evil.txt",  // UNC
      "C:evil.txt",                                       // drive-relative
      "C:\\evil.txt",
      drive_relative,
      "sub\\b.txt:evil",                                  // a stream of a file inside
  };
  for (const std::string& name : kHostile) {
    SCOPED_TRACE(name);
    std::string archive = archives.File("PCClient.zip");
    ASSERT_TRUE(kstest::WriteFile(archive, WrittenEntry("a.txt", "A") + WrittenEntry("sub\\b.txt", "B") +
                                               RawCompressedEntry(name, "written by the package") + WrittenEntry("after.txt", "Z")));
    LogCapture log;
    CZLib unpacker;
    EXPECT_FALSE(unpacker.UnZip(archive.c_str(), destination.c_str()));
    EXPECT_TRUE(log.Has("refused name " + name + ": it leads outside the destination")) << log.Dump();
    EXPECT_TRUE(kstest::FileExists(archive));  // a failed pass keeps its archive

    std::map<std::string, std::string> now;
    Snapshot(root, &now);
    EXPECT_TRUE(now == expected) << "the tree around the destination changed";
    for (const std::string& elsewhere : {std::string("C:evil.txt"), std::string("C:\\evil.txt"), drive_relative,
                                         std::string("\\evil.txt")})
      EXPECT_FALSE(kstest::FileExists(elsewhere)) << elsewhere;
  }
}

}  // namespace
