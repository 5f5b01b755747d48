// Progress figures, the report line and summary, and the statistics file.
#include <fstream>

#include "engine/engine_test_support.h"

namespace moskvid::test {
namespace {

struct Report {
  int frame, fps, current;
  float quality, bitRate;
  int64_t size;
  int total;
};

class ProgressTest : public EngineTest {
 protected:
  void Capture() {
    engine.ProgressIntervalUs = 1;  // every packet, to see the first ones
    engine.ProgressHandler = [this](TCustomFFmpeg&, int frame, int fps, int current, float quality,
                                    float bitRate, int64_t size, int total) {
      reports.push_back({frame, fps, current, quality, bitRate, size, total});
    };
  }
  std::vector<Report> reports;
};

TEST_F(ProgressTest, AudioOnlyReportsMinusOneForThePictureFigures) {
  Capture();
  ConvertOrFail(Media("audio.mp3"), {}, scratch.File("a.wav"), {"acodec=pcm_s16le"});
  ASSERT_GT(reports.size(), 2u);
  for (const Report& r : reports) {
    EXPECT_EQ(r.frame, -1);
    EXPECT_EQ(r.fps, -1);
    EXPECT_EQ(r.quality, -1);
    EXPECT_GE(r.current, 10);  // never below the 10 ms floor
  }
  EXPECT_GT(reports.back().current, reports.front().current);
  EXPECT_GT(reports.back().size, reports.front().size);
  EXPECT_NEAR(reports.back().current, 3000, 60);
  EXPECT_NEAR(reports.back().total, 3000, 60);
  // With a handler the line is not logged, but the summary is.
  EXPECT_FALSE(Logged("size="));
  EXPECT_TRUE(Logged("muxing overhead"));
}

TEST_F(ProgressTest, VideoReportsFramesAndNoSpeedInTheFirstSecond) {
  Capture();
  ConvertOrFail(Media("h264_aac.mp4"), {}, scratch.File("v.mp4"), {"vcodec=mpeg4\nqscale=4"});
  ASSERT_FALSE(reports.empty());
  EXPECT_GE(reports.front().frame, 1);
  EXPECT_EQ(reports.front().fps, 0);
  EXPECT_EQ(reports.back().frame, 75);
  EXPECT_NEAR(reports.back().quality, 4, 0.5);
  EXPECT_GT(reports.back().bitRate, 0);
}

TEST_F(ProgressTest, LogLineWithoutHandlerAndDupDropAtVerbose2) {
  engine.ProgressIntervalUs = 1;
  ConvertOrFail(Media("h264_aac.mp4"), {}, scratch.File("v1.mp4"), {"vcodec=mpeg4\nan=1"});
  EXPECT_TRUE(Logged("frame="));
  EXPECT_TRUE(Logged("size="));
  EXPECT_FALSE(Logged("dup="));
  engine.ResetOptions();
  logLines.clear();
  engine.ProgressIntervalUs = 1;
  ConvertOrFail(Media("h264_aac.mp4"), {}, scratch.File("v2.mp4"), {"vcodec=mpeg4\nan=1\nv=2"});
  EXPECT_TRUE(Logged(" dup=0 drop=0"));
}

TEST_F(ProgressTest, PsnrAndQpHistogramInTheReport) {
  ConvertOrFail(Media("h264_aac.mp4"), {}, scratch.File("psnr.mp4"),
                {"vcodec=mpeg4\nan=1\npsnr=1\nqphist=1\nqscale=3"});
  EXPECT_TRUE(Logged("PSNR=Y:"));
  EXPECT_TRUE(Logged("*:"));
  EXPECT_EQ(engine.QpHistogram[3], 1u);  // the last report counts once
}

TEST_F(ProgressTest, StatisticsFileHasALinePerFrame) {
  const std::string stats = scratch.File("vstats.log");
  ConvertOrFail(Media("h264_aac.mp4"), {}, scratch.File("s.mp4"),
                {"vcodec=mpeg4\nan=1\nvstats_file=" + stats});
  std::ifstream file(stats);
  std::string line;
  int lines = 0;
  while (std::getline(file, line)) {
    ++lines;
    EXPECT_EQ(line.rfind("frame= ", 0), 0u) << line;
    EXPECT_NE(line.find("type= "), std::string::npos);
  }
  EXPECT_GE(lines, 70);
}

}  // namespace
}  // namespace moskvid::test
