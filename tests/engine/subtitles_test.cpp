// Subtitle streams: copied as they are, or decoded and encoded again.
#include <fstream>

#include "engine/engine_test_support.h"

namespace moskvid::test {
namespace {

class SubtitlesTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    const std::string srt = scratch.File("lines.srt");
    std::ofstream(srt) << "1\n00:00:00,500 --> 00:00:01,500\nHello\n\n"
                          "2\n00:00:02,000 --> 00:00:02,800\nWorld\n";
    source = scratch.File("titled.mkv");
    RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=25:duration=3 -i " +
               Quote(srt) + " -c:v mpeg4 -c:s srt " + Quote(source));
  }

  // "start,duration" of each subtitle packet.
  static std::string Timing(const std::string& file) {
    return RunCommand(
        "ffprobe -v error -select_streams s -show_entries "
        "packet=pts_time,duration_time -of csv=p=0 " +
        Quote(file));
  }

  std::string source;
};

TEST_F(SubtitlesTest, CopyKeepsEveryLineAndItsTime) {
  const std::string out = scratch.File("copy.mkv");
  ConvertOrFail(source, {}, out, {"vcodec=copy\nscodec=copy"});
  EXPECT_EQ(Timing(out), "0.500000,1.000000\n2.000000,0.800000\n");
}

TEST_F(SubtitlesTest, TextIsEncodedAgainWithItsStyleHeader) {
  const std::string out = scratch.File("ass.mkv");
  ConvertOrFail(source, {}, out, {"vcodec=mpeg4"});
  const auto streams = ProbeStreams(out);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[1].at("codec_name"), "ass");
  EXPECT_GT(ToDouble(streams[1].at("extradata_size")), 100);
  EXPECT_EQ(Timing(out), "0.500000,1.000000\n2.000000,0.800000\n");
  const std::string text =
      RunCommand("ffmpeg -v error -nostdin -i " + Quote(out) + " -map 0:s -f srt -");
  EXPECT_NE(text.find("Hello"), std::string::npos);
  EXPECT_NE(text.find("World"), std::string::npos);
}

}  // namespace
}  // namespace moskvid::test
