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

// Where a stream has packets in the file: `length` seconds of it at `at`.
struct Piece {
  double at, length;
};

// The setpts expression that lays a continuous stream out in `pieces`, and
// the continuous stream's time of a time in the file.
std::string LayOut(const std::vector<Piece>& pieces) {
  std::string expression = "T";
  double content = 0;
  for (const Piece& piece : pieces)
    content += piece.length;
  for (size_t i = pieces.size(); i-- > 0;) {
    content -= pieces[i].length;
    const std::string shifted = "T+" + std::to_string(pieces[i].at - content);
    expression = i + 1 == pieces.size() ? shifted
                                        : "if(lt(T," + std::to_string(content + pieces[i].length) +
                                              ")," + shifted + "," + expression + ")";
  }
  return "(" + expression + ")/TB";
}

double ContentTime(const std::vector<Piece>& pieces, double fileTime) {
  double content = 0;
  for (const Piece& piece : pieces) {
    if (fileTime < piece.at + piece.length) return content + fileTime - piece.at;
    content += piece.length;
  }
  return content;
}

double Length(const std::vector<Piece>& pieces) {
  double length = 0;
  for (const Piece& piece : pieces)
    length += piece.length;
  return length;
}

// A mark (a flash in the pictures, a beep in the sound) at `in` seconds of
// the file, expected at `out` seconds of the output.
struct Mark {
  double in, out;
};

struct JumpCase {
  const char* name;
  std::vector<Piece> video, sound;
  std::vector<Mark> flashes, beeps;
  double videoLength, soundLength;  // of the output
  bool closedUp;
};

// Pictures at 25 fps, sound at 22050 Hz, laid out in pieces in a Matroska
// file (a format without discontinuity flags); only a plainly broken clock
// is closed up.
const JumpCase kJumpCases[] = {
    {"broken clock: the pictures ten hours ahead of the sound that runs on",
     {{0, 2}, {36002, 4}},
     {{0, 6}},
     {{1, 1}, {36004, 4}},
     {{1, 1}, {4, 4}},
     6,
     6,
     true},
    {"a pause in every stream",
     {{0, 2}, {22, 4}},
     {{0, 2}, {22, 4}},
     {{1, 1}, {24, 24}},
     {{1, 1}, {24, 24}},
     26,
     26,
     false},
    {"a still picture held 15 s after the sound ended",
     {{0, 10.04}, {25, 5}},
     {{0, 8}},
     {{1, 1}, {27, 27}},
     {{1, 1}, {7, 7}},
     30,
     8,
     false},
    {"the pictures ended, the sound goes on after a gap",
     {{0, 3}},
     {{0, 4}, {20, 4}},
     {{1, 1}},
     {{1, 1}, {22, 22}},
     3,
     24,
     false},
    {"both pause, the sound comes back 8 s after the pictures",
     {{0, 10}, {40, 10}},
     {{0, 8}, {48, 2}},
     {{1, 1}, {49, 49}},
     {{1, 1}, {49, 49}},
     50,
     50,
     false},
    {"both pause, the sound 2 s after the pictures",
     {{0, 10}, {40, 10}},
     {{0, 12}, {48, 2}},
     {{1, 1}, {49, 49}},
     {{11, 11}, {49, 49}},
     50,
     50,
     false},
};

class JumpTest : public DiscontinuityTest, public ::testing::WithParamInterface<JumpCase> {
 protected:
  std::string Source(const JumpCase& c) {
    std::string flashes = "0", beeps = "0";
    for (const Mark& mark : c.flashes) {
      const double at = ContentTime(c.video, mark.in);
      flashes += "+between(T," + std::to_string(at) + "," + std::to_string(at + 0.02) + ")";
    }
    for (const Mark& mark : c.beeps) {
      const double at = ContentTime(c.sound, mark.in);
      beeps += "+between(t," + std::to_string(at) + "," + std::to_string(at + 0.06) + ")";
    }
    const std::string pictures =
        "color=c=black:size=64x48:rate=25:duration=" + std::to_string(Length(c.video)) +
        ",format=yuv420p,geq=lum='if(" + flashes + ",235,16)':cb=128:cr=128,setpts='" +
        LayOut(c.video) + "'";
    const std::string sound = "aevalsrc='if(" + beeps + ",0.8*sin(2*PI*1000*t),0)':s=22050:d=" +
                              std::to_string(Length(c.sound)) + ",asetpts='" + LayOut(c.sound) +
                              "'";
    const std::string source = scratch.File("jump.mkv");
    RunCommand("ffmpeg -v error -nostdin -y -f lavfi -i " + Quote(pictures) + " -f lavfi -i " +
               Quote(sound) + " -fps_mode passthrough -c:v libx264 -preset ultrafast -c:a aac " +
               Quote(source));
    return source;
  }
};

TEST_P(JumpTest, OnlyABrokenClockIsClosedUp) {
  const JumpCase& c = GetParam();
  const std::string source = Source(c);
  for (const char* options : {"vcodec=mpeg4\nacodec=aac", "vcodec=copy\nacodec=copy"}) {
    SCOPED_TRACE(options);
    engine.ResetOptions();
    logLines.clear();
    const std::string out = scratch.File(options[7] == 'c' ? "copied.mkv" : "encoded.mkv");
    ConvertOrFail(source, {}, out, {options});
    EXPECT_EQ(Logged("the jump is closed up"), c.closedUp) << ::testing::PrintToString(logLines);
    // The sound encoder may add a frame.
    EXPECT_NEAR(StreamSpan(out, "v:0").Length(), c.videoLength, 0.1);
    EXPECT_NEAR(StreamSpan(out, "a:0").Length(), c.soundLength, 0.15);
    // Within one picture of where they belong, in step with each other,
    // after the start the encoders' delays give the first flash.
    const auto flashes = FlashTimes(out), beeps = BeepTimes(out);
    const double delay = Nearest(flashes, c.flashes[0].out) - c.flashes[0].out;
    EXPECT_LT(std::abs(delay), 0.1);
    for (const Mark& mark : c.flashes)
      EXPECT_NEAR(Nearest(flashes, mark.out + delay), mark.out + delay, 0.04);
    for (const Mark& mark : c.beeps)
      EXPECT_NEAR(Nearest(beeps, mark.out + delay), mark.out + delay, 0.04);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, JumpTest, ::testing::ValuesIn(kJumpCases),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

// Cut before a gap in both streams ends, nothing is written past the length
// (found by transcode_fuzzer: the sound waiting for a full frame went after
// the gap).
TEST_F(DiscontinuityTest, ACutBeforeAGapEndsStaysShort) {
  const std::string source = scratch.File("gap.mkv");
  RunCommand(
      "ffmpeg -v error -nostdin -y -f lavfi -i "
      "\"color=c=black:size=64x48:rate=25:duration=6,format=yuv420p,"
      "setpts='if(gte(N,50),PTS+20/TB,PTS)'\" -f lavfi -i "
      "\"sine=sample_rate=22050:duration=6,asetpts='if(gte(T,2),PTS+20/TB,PTS)'\" "
      "-fps_mode passthrough -c:v libx264 -preset ultrafast -c:a aac " +
      Quote(source));
  const std::string cut = scratch.File("cut.mkv");
  ConvertOrFail(source, {}, cut, {"vcodec=mpeg4\nacodec=aac\nar=16000\nt=3"});
  EXPECT_LE(StreamSpan(cut, "a:0").end, 3.05);
  EXPECT_LE(StreamSpan(cut, "v:0").end, 3.1);
}

}  // namespace
}  // namespace moskvid::test
