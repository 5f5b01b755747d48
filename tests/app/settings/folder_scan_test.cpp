#include "app/settings/folder_scan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "support/test_support.h"

namespace moskvid {
namespace {

using test::ScratchDir;

TEST(FolderScan, NaturalOrderOfNamesAndPaths) {
  // Numbers by value, leading zeros aside; letters in any case; ties by bytes.
  const std::vector<std::pair<std::string, std::string>> ordered = {
      {"ep2.mkv", "ep10.mkv"},
      {"ep9", "ep09x"},
      {"Ep1", "ep2"},
      {"a", "a1"},
      {"x99", "x100"},
      {"007", "7a"},
      {"Ep1.mkv", "ep1.mkv"},
      {"ep01", "ep1"},
      {"18446744073709551616", "18446744073709551617"},
  };
  for (const auto& [a, b] : ordered) {
    EXPECT_TRUE(NaturalLess(a, b)) << a << " < " << b;
    EXPECT_FALSE(NaturalLess(b, a)) << b << " !< " << a;
  }
  EXPECT_FALSE(NaturalLess("same", "same"));
  // Folder by folder: a whole season before the next one.
  EXPECT_TRUE(NaturalPathLess("/s/season 2/ep10.mp4", "/s/season 10/ep1.mp4"));
  EXPECT_TRUE(NaturalPathLess("/s/a/z.mp4", "/s/a-b/a.mp4"));  // '/' is not a character of a name
  EXPECT_TRUE(NaturalPathLess("/s/a.mp4", "/s/a.mp4/b.mp4"));
}

TEST(FolderScan, MediaFilesUnderAGeneratedTree) {
  ScratchDir scratch;
  const std::string root = scratch.File("season");
  auto touch = [&](const std::string& relative) {
    const std::string path = root + "/" + relative;
    test::RunCommand("mkdir -p " + test::Quote(path.substr(0, path.rfind('/'))));
    std::ofstream(path) << "x";
    return path;
  };
  // Made out of order, so the order seen is the scanner's.
  for (int n : {10, 1, 2, 33, 3})
    touch("disc 1/Ep" + std::to_string(n) + ".MKV");
  touch("disc 10/ep1.mp4");
  touch("disc 2/ep1.Mp4");
  touch("disc 2/notes.txt");
  touch("disc 2/cover.JPG");  // a picture is media too
  touch("disc 2/.hidden.mp4");
  touch(".thumbs/ep1.mp4");
  touch("disc 2/noextension");
  ASSERT_EQ(symlink((root + "/disc 1").c_str(), (root + "/link to disc 1").c_str()), 0);
  ASSERT_EQ(mkdir((root + "/locked").c_str(), 0), 0);

  std::vector<std::string> expected;
  for (int n : {1, 2, 3, 10, 33})
    expected.push_back(root + "/disc 1/Ep" + std::to_string(n) + ".MKV");
  expected.push_back(root + "/disc 2/cover.JPG");
  expected.push_back(root + "/disc 2/ep1.Mp4");
  expected.push_back(root + "/disc 10/ep1.mp4");
  EXPECT_EQ(MediaFilesUnder(root), expected);

  // A folder and files given with it: each file once, in the order given.
  const std::string loose = touch("../loose.avi");
  std::vector<std::string> mixed = {loose, root, expected[2], scratch.File("missing.mp4")};
  std::vector<std::string> wanted = {loose};
  wanted.insert(wanted.end(), expected.begin(), expected.end());
  wanted.push_back(scratch.File("missing.mp4"));
  EXPECT_EQ(ExpandFolders(mixed), wanted);

  // Cancelled at once: nothing more is walked.
  EXPECT_TRUE(MediaFilesUnder(root, [] { return true; }).empty());
  chmod((root + "/locked").c_str(), 0700);
}

}  // namespace
}  // namespace moskvid
