// convert --estimate: the sizes it foresees against what a conversion
// writes, and that it writes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "support/test_support.h"

namespace moskvid::test {
namespace {

TEST(EstimateTest, ForeseesWhatTheConversionWrites) {
  ScratchDir scratch;
  // 15 s of moving noise, so that the encoders spend their whole rate.
  const std::string clip = scratch.File("clip.mkv");
  int status = -1;
  RunCommand(
      "ffmpeg -v error -f lavfi -i 'testsrc2=size=480x272:rate=30000/1001,"
      "noise=alls=40:allf=t+u' -f lavfi -i 'anoisesrc=a=0.3:r=44100' -t 15 "
      "-c:v mpeg4 -q:v 2 -c:a pcm_s16le " +
          Quote(clip),
      &status);
  ASSERT_EQ(status, 0);
  const std::string cli = "MOSKVID_CONFIG=" + Quote(scratch.File("moskvid.ini")) + " " +
                          std::string(MOSKVID_CLI) + " convert --quiet --output-dir " +
                          Quote(scratch.File("out")) + " ";
  // An H.264 format and MP3, whose rate control already holds within 5%;
  // 10% leaves room for the container's share and a 15 s clip's start.
  for (const char* format : {"7", "9"}) {
    const std::string estimate =
        RunCommand(cli + "--estimate --format " + format + " " + Quote(clip), &status);
    ASSERT_EQ(status, 0) << estimate;
    std::smatch bytes;
    ASSERT_TRUE(std::regex_search(estimate, bytes, std::regex(R"(\((\d+) bytes\)  )"))) << estimate;
    EXPECT_NE(estimate.find("Total: 1 file, about "), std::string::npos) << estimate;
    EXPECT_FALSE(std::filesystem::exists(scratch.File("out"))) << "--estimate wrote";

    const std::string output =
        RunCommand(cli + "--format " + format + " " + Quote(clip) + " 2>&1", &status);
    ASSERT_EQ(status, 0) << output;
    const double written =
        static_cast<double>(std::filesystem::file_size(output.substr(0, output.find('\n'))));
    EXPECT_NEAR(std::stod(bytes[1]) / written, 1.0, 0.10) << "format " << format;
    std::filesystem::remove_all(scratch.File("out"));
  }
}

}  // namespace
}  // namespace moskvid::test
