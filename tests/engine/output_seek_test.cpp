// A start time on the output ("ss" after the input is opened): the output
// holds the part of the source from there on and starts at time zero, for
// stream copy as for re-encoding.
#include "engine/engine_test_support.h"

namespace moskvid::test {
namespace {

class OutputSeekTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    // Six seconds, a key frame every second, so that copy can start at 2 s.
    source = scratch.File("source.mkv");
    RunCommand(
        "ffmpeg -v error -nostdin -y -f lavfi -i testsrc=size=160x120:rate=25:duration=6 "
        "-f lavfi -i sine=sample_rate=44100:duration=6 "
        "-c:v libx264 -preset veryfast -g 25 -c:a aac -b:a 64k " +
        Quote(source));
    ASSERT_EQ(CountFrames(source, "v:0"), 150);
  }

  // The output opens, both streams start near zero and last about `length`
  // seconds (copied video may start up to one group of pictures early).
  void ExpectPart(const std::string& out, double length, double videoSlack) {
    const Fields format = ProbeFormat(out);
    ASSERT_TRUE(format.count("duration")) << out << " does not open";
    const Span video = StreamSpan(out, "v:0"), audio = StreamSpan(out, "a:0");
    EXPECT_NEAR(video.start, 0, 0.1) << out;
    EXPECT_NEAR(audio.start, 0, 0.1) << out;
    EXPECT_GE(video.Length(), length - 0.05) << out;
    EXPECT_LE(video.Length(), length + videoSlack + 0.05) << out;
    EXPECT_NEAR(audio.Length(), length, 0.05) << out;
    const int packets = CountPackets(out, "v:0");
    EXPECT_GE(packets, static_cast<int>(length * 25) - 1) << out;
    EXPECT_LE(packets, static_cast<int>((length + videoSlack) * 25) + 1) << out;
    EXPECT_NEAR(static_cast<double>(CountSamples(out)) / 44100, length, 0.05) << out;
    // The first picture is the source's picture at 2 s (the frame counter of
    // the test pattern differs from second to second).
    const Picture first = GrabPicture(out, 0), expected = GrabPicture(source, 2);
    const Picture other = GrabPicture(source, 1);
    ASSERT_EQ(first.pixels.size(), expected.pixels.size());
    double same = 0, differ = 0;
    for (size_t i = 0; i < first.pixels.size(); ++i) {
      same += std::abs(first.pixels[i] - expected.pixels[i]);
      differ += std::abs(first.pixels[i] - other.pixels[i]);
    }
    EXPECT_LT(same, differ / 4) << out;
  }

  std::string source;
};

TEST_F(OutputSeekTest, CopyIntoMatroskaHoldsThePart) {
  const std::string out = scratch.File("part.mkv");
  ConvertOrFail(source, {}, out, {"ss=2\nt=2\nvcodec=copy\nacodec=copy"});
  ExpectPart(out, 2, 1);
}

TEST_F(OutputSeekTest, CopyIntoMp4HoldsThePart) {
  const std::string out = scratch.File("part.mp4");
  ConvertOrFail(source, {}, out, {"ss=2\nt=2\nvcodec=copy\nacodec=copy"});
  ExpectPart(out, 2, 1);
}

TEST_F(OutputSeekTest, CopyWithoutLengthHoldsTheRest) {
  const std::string out = scratch.File("rest.mkv");
  ConvertOrFail(source, {}, out, {"ss=2\nvcodec=copy\nacodec=copy"});
  ExpectPart(out, 4, 1);
}

TEST_F(OutputSeekTest, ReencodingHoldsThePart) {
  const std::string out = scratch.File("encoded.mkv");
  ConvertOrFail(source, {}, out, {"ss=2\nt=2\nvcodec=libx264\nacodec=aac"});
  ExpectPart(out, 2, 0.04);
  EXPECT_NEAR(CountFrames(out, "v:0"), 50, 1);
}

// Started inside the first group of pictures: the held packets before the
// start (the first ones of a Matroska stream with B-pictures have no
// decoding time) get decoding times that increase, which MP4 insists on, and
// the frame limit counts them too.
TEST_F(OutputSeekTest, CopyFromTheKeyFrameBeforeTheStartIntoMp4) {
  const std::string out = scratch.File("early.mp4");
  ConvertOrFail(source, {}, out, {"ss=0.1\nvcodec=copy\nacodec=copy"});
  int status = 0;
  EXPECT_EQ(RunCommand("ffmpeg -v error -xerror -i " + Quote(out) + " -f null - 2>&1", &status),
            "");
  EXPECT_EQ(status, 0);
  // What shows before the start is cut by the edit list.
  EXPECT_NEAR(CountFrames(out, "v:0"), 5.9 * 25, 1);

  // 23 packets wait from the key frame at 0 s to the start at 0.9 s.
  engine.ResetOptions();
  const std::string limited = scratch.File("limited.mp4");
  ConvertOrFail(source, {}, limited, {"ss=0.9\nvframes=10\nvcodec=copy\nan=1"});
  EXPECT_EQ(CountPackets(limited, "v:0"), 10);
}

// A key frame more than 30 s before the start is not waited for with every
// packet after it held in memory: the copy begins at the next key frame.
TEST_F(OutputSeekTest, AKeyFrameFarBeforeTheStartIsGivenUp) {
  const std::string sparse = scratch.File("sparse.mkv");
  RunCommand(
      "ffmpeg -v error -nostdin -y -f lavfi -i testsrc=size=64x48:rate=25:duration=40 "
      "-f lavfi -i sine=duration=40 -c:v libx264 -preset ultrafast "
      "-x264-params keyint=1000:scenecut=0 -force_key_frames 36 -c:a aac " +
      Quote(sparse));
  const std::string out = scratch.File("late.mkv");
  ConvertOrFail(sparse, {}, out, {"ss=35\nvcodec=copy\nacodec=copy"});
  EXPECT_TRUE(Logged("Stream #0.0 has no key frame within 30 s before the start"))
      << ::testing::PrintToString(logLines);
  // The sound from the start, the pictures from the key frame a second later.
  EXPECT_NEAR(StreamSpan(out, "a:0").start, 0, 0.05);
  EXPECT_NEAR(StreamSpan(out, "v:0").start, 1, 0.05);
  EXPECT_NEAR(CountPackets(out, "v:0"), 100, 1);
}

}  // namespace
}  // namespace moskvid::test
