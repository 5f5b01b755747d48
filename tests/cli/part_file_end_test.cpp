// moskvid-cli at the end of an output's part: a disk that does not take the
// last of it, and an output name as long as a file name may be.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "support/test_support.h"

namespace moskvid::test {
namespace {

namespace fs = std::filesystem;

class CliPartFileTest : public ::testing::Test {
 protected:
  // Converts a second of pictures to `out`; standard output is returned,
  // standard error kept in `errors`.
  std::string Transcode(const std::string& environment, const std::string& out, int* status) {
    const std::string clip = scratch.File("clip.mp4");
    if (!fs::exists(clip)) {
      RunCommand(
          "ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=25:duration=1"
          " -c:v libx264 -preset ultrafast -pix_fmt yuv420p " +
          Quote(clip));
    }
    const std::string errorFile = scratch.File("stderr.txt");
    const std::string printed =
        RunCommand(environment + " MOSKVID_CONFIG=" + Quote(scratch.File("moskvid.ini")) + " " +
                       MOSKVID_CLI + " transcode " + Quote(clip) + " --out vcodec=mpeg4 " +
                       Quote(out) + " 2>" + Quote(errorFile),
                   status);
    errors = RunCommand("cat " + Quote(errorFile));
    return printed;
  }

  // The folder's names.
  static std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
      names.push_back(entry.path().filename().string());
    return names;
  }

  ScratchDir scratch;
  std::string errors;
};

TEST_F(CliPartFileTest, AnOutputTheDiskDidNotTakeWholeIsKeptAsFailed) {
  for (const std::string fails : {"fsync", "close", ""}) {
    SCOPED_TRACE(fails);
    const std::string folder = scratch.File("out-" + fails);
    fs::create_directory(folder);
    const std::string out = folder + "/clip_(new).mp4";
    const std::string failed = folder + "/clip_(new).failed.mp4";
    int status = -1;
    const std::string printed = Transcode(
        "LD_PRELOAD=" MOSKVID_TEST_FAIL_PART_SYNC " MOSKVID_TEST_FAIL=" + fails, out, &status);
    if (fails.empty()) {
      EXPECT_EQ(status, 0) << errors;
      EXPECT_EQ(printed, out + "\n");
      EXPECT_EQ(Names(folder), std::vector<std::string>{"clip_(new).mp4"});
      continue;
    }
    EXPECT_NE(status, 0) << errors;
    EXPECT_EQ(printed, "");
    EXPECT_EQ(Names(folder), std::vector<std::string>{"clip_(new).failed.mp4"});
    // The task's own failure line says why, and where what was converted is.
    bool told = false;
    std::istringstream lines(errors);
    for (std::string line; std::getline(lines, line);) {
      told = told || (line.find("Input/output error") != std::string::npos &&
                      line.find("kept as " + failed) != std::string::npos);
    }
    EXPECT_TRUE(told) << errors;
  }
}

TEST_F(CliPartFileTest, AnOutputNameOfTwoHundredFiftyThreeBytesConverts) {
  const std::string folder = scratch.File("out");
  fs::create_directory(folder);
  const std::string name = std::string(243, 'n') + "_(new).mp4";
  int status = -1;
  EXPECT_EQ(Transcode("", folder + "/" + name, &status), folder + "/" + name + "\n");
  EXPECT_EQ(status, 0) << errors;
  EXPECT_EQ(Names(folder), std::vector<std::string>{name});
}

}  // namespace
}  // namespace moskvid::test
