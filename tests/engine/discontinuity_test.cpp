// Long gaps between time stamps: sparse subtitles and held pictures keep their
// times; real jumps of transport streams are still closed up.
#include <fstream>

#include "engine/engine_test_support.h"

namespace moskvid::test {
namespace {

class DiscontinuityTest : public EngineTest {
 protected:
  // Picture and sound last as long as each other and start together, as in
  // `source`, within `slack` seconds (an encoder's delay, a repeated picture).
  static void ExpectSameSpans(const std::string& out, const std::string& source,
                              double slack = 0.1) {
    const Span video = StreamSpan(out, "v:0"), audio = StreamSpan(out, "a:0");
    const Span sourceVideo = StreamSpan(source, "v:0"), sourceAudio = StreamSpan(source, "a:0");
    EXPECT_NEAR(audio.Length(), sourceAudio.Length(), slack);
    EXPECT_NEAR(video.Length(), sourceVideo.Length(), slack);
    EXPECT_NEAR(video.start - audio.start, sourceVideo.start - sourceAudio.start, 0.05);
    EXPECT_NEAR(video.end - audio.end, sourceVideo.end - sourceAudio.end, slack);
  }

  // The flash and the beep at `mark` seconds come together where they belong.
  static void ExpectMarkInStep(const std::string& out, double mark) {
    const double flash = Nearest(FlashTimes(out), mark);
    const double beep = Nearest(BeepTimes(out), mark);
    EXPECT_NEAR(flash, mark, 0.1) << out;
    EXPECT_NEAR(beep, mark, 0.1) << out;
    EXPECT_LT(std::abs(flash - beep), 0.05) << out << " at " << mark;
  }
};

class SparseSubtitlesTest : public DiscontinuityTest {
 protected:
  void SetUp() override {
    DiscontinuityTest::SetUp();
    // Lines at 1 s, 20 s and 24 s: the gaps are longer than the jump threshold.
    const std::string srt = scratch.File("lines.srt");
    std::ofstream(srt) << "1\n00:00:01,000 --> 00:00:02,000\nOne\n\n"
                          "2\n00:00:20,000 --> 00:00:21,000\nTwo\n\n"
                          "3\n00:00:24,000 --> 00:00:25,000\nThree\n";
    source = scratch.File("sparse.mkv");
    RunCommand(
        "ffmpeg -v error -nostdin -y -f lavfi -i testsrc=size=64x48:rate=5:duration=26 "
        "-f lavfi -i sine=sample_rate=8000:duration=26 -i " +
        Quote(srt) + " -map 0 -map 1 -map 2 -c:v libx264 -g 5 -c:a aac -b:a 16k -c:s srt " +
        Quote(source));
    ASSERT_EQ(PacketTimes(source, "s:0").size(), 3u);
  }

  // Re-encoding may move a line by the encoders' delay: one sound frame
  // (0.128 s at 8 kHz) or one picture (0.2 s at 5 fps).
  void ExpectLinesInPlace(const std::string& out, double slack) {
    const auto expected = PacketTimes(source, "s:0");
    const auto times = PacketTimes(out, "s:0");
    ASSERT_EQ(times.size(), expected.size()) << out;
    for (size_t i = 0; i < times.size(); ++i)
      EXPECT_NEAR(times[i], expected[i], slack) << "line " << i;
    ExpectSameSpans(out, source, slack + 0.1);
  }

  std::string source;
};

TEST_F(SparseSubtitlesTest, CopiedLinesKeepTheirTimes) {
  const std::string out = scratch.File("copy.mkv");
  ConvertOrFail(source, {}, out, {"vcodec=copy\nacodec=copy\nscodec=copy"});
  ExpectLinesInPlace(out, 0.01);
}

TEST_F(SparseSubtitlesTest, EncodedLinesKeepTheirTimes) {
  const std::string out = scratch.File("encoded.mkv");
  ConvertOrFail(source, {}, out, {"vcodec=libx264\nacodec=aac"});
  ExpectLinesInPlace(out, 0.13);
}

class HeldPictureTest : public DiscontinuityTest {
 protected:
  void SetUp() override {
    DiscontinuityTest::SetUp();
    // Pictures at 25 fps up to 2 s, the one at 2 s held until 17 s, then
    // 25 fps again up to 19 s; sound all along. A flash and a beep at 1 s and 18 s.
    source = scratch.File("held.mkv");
    const std::string pictures =
        "testsrc=size=64x48:rate=25:duration=4,"
        "setpts='if(lte(N,50),N/25,17+(N-51)/25)/TB',"
        "geq=lum='if(between(T,1,1.07)+between(T,18,18.07),235,16)':cb=128:cr=128";
    const std::string sound =
        "aevalsrc='if(between(t,1,1.06)+between(t,18,18.06),0.8*sin(2*PI*1000*t),0)':"
        "s=22050:d=19";
    RunCommand("ffmpeg -v error -nostdin -y -f lavfi -i " + Quote(pictures) + " -f lavfi -i " +
               Quote(sound) + " -fps_mode passthrough -c:v libx264 -g 25 -c:a aac -b:a 32k " +
               Quote(source));
    const auto times = PacketTimes(source, "v:0");
    ASSERT_EQ(times.size(), 100u);
  }

  std::string source;
};

TEST_F(HeldPictureTest, CopyKeepsTheStillAndTheSound) {
  const std::string out = scratch.File("copy.mkv");
  ConvertOrFail(source, {}, out, {"vcodec=copy\nacodec=copy"});
  EXPECT_EQ(CountPackets(out, "v:0"), 100);
  ExpectSameSpans(out, source);
  ExpectMarkInStep(out, 1);
  ExpectMarkInStep(out, 18);
}

TEST_F(HeldPictureTest, ReencodedPicturesStayWithTheSound) {
  const std::string out = scratch.File("encoded.mkv");
  ConvertOrFail(source, {}, out, {"vcodec=libx264\nacodec=aac\nr=25"});
  ExpectSameSpans(out, source);
  ExpectMarkInStep(out, 1);
  ExpectMarkInStep(out, 18);
}

TEST_F(DiscontinuityTest, TransportStreamJumpIsClosedUp) {
  // Two transport streams of two seconds each; the second one's clock starts
  // a minute later, which is a jump and not a pause.
  const std::string a = scratch.File("a.ts"), b = scratch.File("b.ts");
  const std::string joined = scratch.File("joined.ts");
  const std::string video = "-f lavfi -i testsrc=size=64x48:rate=25:duration=2 ";
  const std::string sound = "-f lavfi -i sine=sample_rate=22050:duration=2 ";
  const std::string codecs = "-c:v mpeg2video -g 25 -c:a mp2 ";
  RunCommand("ffmpeg -v error -nostdin -y " + video + sound + codecs + Quote(a));
  RunCommand("ffmpeg -v error -nostdin -y " + video + sound + codecs + "-output_ts_offset 60 " +
             Quote(b));
  RunCommand("cat " + Quote(a) + " " + Quote(b) + " > " + Quote(joined));
  ASSERT_GT(StreamSpan(joined, "v:0").Length(), 60);

  const std::string out = scratch.File("joined.mkv");
  ConvertOrFail(joined, {}, out, {"vcodec=libx264\nacodec=aac\nv=3"});
  EXPECT_TRUE(Logged("timestamp discontinuity"));
  const Span videoSpan = StreamSpan(out, "v:0"), audioSpan = StreamSpan(out, "a:0");
  const double videoLength = StreamSpan(a, "v:0").Length() + StreamSpan(b, "v:0").Length();
  const double audioLength = StreamSpan(a, "a:0").Length() + StreamSpan(b, "a:0").Length();
  EXPECT_NEAR(videoSpan.Length(), videoLength, 0.1);
  EXPECT_NEAR(audioSpan.Length(), audioLength, 0.1);
  EXPECT_NEAR(videoSpan.start, audioSpan.start, 0.05);
  EXPECT_NEAR(CountFrames(out, "v:0"), 100, 2);
}

// Pictures at 25 fps and sound for 6 s, a flash and a beep at 1 s and 4 s;
// after picture 50 the pictures jump `videoJump` seconds ahead and, from 2 s
// on, the sound `soundJump` seconds.
class JumpTest : public DiscontinuityTest {
 protected:
  std::string Source(int videoJump, int soundJump) {
    const std::string source = scratch.File("jump.mkv");
    const std::string pictures =
        "color=c=black:size=64x48:rate=25:duration=6,format=yuv420p,"
        "geq=lum='if(between(T,1,1.02)+between(T,4,4.02),235,16)':cb=128:cr=128,"
        "setpts='if(gte(N,50),PTS+" +
        std::to_string(videoJump) + "/TB,PTS)'";
    const std::string sound =
        "aevalsrc='if(between(t,1,1.06)+between(t,4,4.06),0.8*sin(2*PI*1000*t),0)':s=22050:d=6,"
        "asetpts='if(gte(T,2),PTS+" +
        std::to_string(soundJump) + "/TB,PTS)'";
    RunCommand("ffmpeg -v error -nostdin -y -f lavfi -i " + Quote(pictures) + " -f lavfi -i " +
               Quote(sound) + " -fps_mode passthrough -c:v libx264 -preset ultrafast -c:a aac " +
               Quote(source));
    return source;
  }
};

// Matroska flags no discontinuities, but pictures ten hours ahead of the
// sound that runs on are one: closed up and logged, not ten hours of the
// last picture (the length limit only keeps the old fault short).
TEST_F(JumpTest, VideoJumpingAheadOfItsSoundIsClosedUp) {
  const std::string source = Source(36000, 0);
  for (const char* options : {"vcodec=mpeg4\nacodec=aac\nt=8", "vcodec=copy\nacodec=copy\nt=8"}) {
    engine.ResetOptions();
    logLines.clear();
    const std::string out = scratch.File("closed.mkv");
    ConvertOrFail(source, {}, out, {options});
    EXPECT_TRUE(Logged("Stream #0.0 jumps 36000.000 s ahead"))
        << ::testing::PrintToString(logLines);
    EXPECT_NEAR(StreamSpan(out, "v:0").Length(), 6, 0.1) << options;
    // The sound encoder may add a frame.
    EXPECT_NEAR(StreamSpan(out, "a:0").Length(), 6, 0.15) << options;
    ExpectMarkInStep(out, 1);
    ExpectMarkInStep(out, 4);
  }
}

// The same jump in both streams is a pause of picture and sound: it keeps
// its time, also when the pictures after it come first in the file.
TEST_F(JumpTest, AGapInBothStreamsKeepsItsTime) {
  const std::string source = Source(20, 20);
  const std::string out = scratch.File("gap.mkv");
  ConvertOrFail(source, {}, out, {"vcodec=mpeg4\nacodec=aac"});
  EXPECT_FALSE(Logged("ahead"));
  EXPECT_NEAR(StreamSpan(out, "v:0").Length(), 26, 0.1);
  ExpectMarkInStep(out, 1);
  ExpectMarkInStep(out, 24);

  // Cut before the gap ends, nothing is written past the length (found by
  // transcode_fuzzer: the sound waiting for a full frame went after the gap).
  engine.ResetOptions();
  const std::string cut = scratch.File("cut.mkv");
  ConvertOrFail(source, {}, cut, {"vcodec=mpeg4\nacodec=aac\nar=16000\nt=3"});
  EXPECT_LE(StreamSpan(cut, "a:0").end, 3.05);
  EXPECT_LE(StreamSpan(cut, "v:0").end, 3.1);
}

}  // namespace
}  // namespace moskvid::test
