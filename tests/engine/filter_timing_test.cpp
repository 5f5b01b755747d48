// Filters that change the time base or the frame rate of the pictures (yadif,
// fps, setpts): the video keeps the sound's length and stays in step with it.
#include "engine/engine_test_support.h"

namespace moskvid::test {
namespace {

constexpr double kMarks[] = {1.0, 3.5};

class FilterTimingTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    // Five seconds at 25 fps; a white picture (three frames) and a beep at each mark.
    source = scratch.File("source.mkv");
    const std::string flash =
        "geq=lum='if(between(T,1,1.11)+between(T,3.5,3.61),235,16)':cb=128:cr=128";
    const std::string beep =
        "aevalsrc='if(between(t,1,1.06)+between(t,3.5,3.56),0.8*sin(2*PI*1000*t),0)':s=44100:d=5";
    RunCommand("ffmpeg -v error -nostdin -y -f lavfi -i " +
               Quote("color=c=black:size=160x120:rate=25:duration=5,format=yuv420p," + flash) +
               " -f lavfi -i " + Quote(beep) +
               " -c:v libx264 -preset veryfast -g 25 -c:a aac -b:a 64k " + Quote(source));
    ASSERT_EQ(CountFrames(source, "v:0"), 125);
  }

  // Converts the clip through `filters` into Matroska (H.264 and AAC).
  std::string Filtered(const std::string& filters, const std::string& extra = "") {
    const std::string out = scratch.File("filtered.mkv");
    ConvertOrFail(
        source, {}, out,
        {"vcodec=libx264\nacodec=aac\nvfilters=" + filters + (extra.empty() ? "" : "\n") + extra});
    return out;
  }

  // Picture and sound last as long as each other, start as far apart as in
  // the source, and the white pictures come with the beeps.
  void ExpectInStep(const std::string& out, double frameTime) {
    const Span video = StreamSpan(out, "v:0"), audio = StreamSpan(out, "a:0");
    const Span sourceVideo = StreamSpan(source, "v:0"), sourceAudio = StreamSpan(source, "a:0");
    EXPECT_NEAR(audio.Length(), sourceAudio.Length(), 0.05);
    EXPECT_NEAR(video.Length(), audio.Length(), frameTime + 0.03)
        << "video " << video.start << ".." << video.end << ", audio " << audio.start << ".."
        << audio.end;
    EXPECT_NEAR(video.start - audio.start, sourceVideo.start - sourceAudio.start, frameTime);
    const auto flashes = FlashTimes(out), sourceFlashes = FlashTimes(source);
    const auto beeps = BeepTimes(out), sourceBeeps = BeepTimes(source);
    for (double mark : kMarks) {
      const double sourceFlash = Nearest(sourceFlashes, mark);
      ASSERT_NEAR(sourceFlash, mark, 0.05) << "mark " << mark;
      EXPECT_NEAR(Nearest(flashes, mark), sourceFlash, frameTime + 0.01) << "mark " << mark;
      EXPECT_NEAR(Nearest(beeps, mark), Nearest(sourceBeeps, mark), 0.03) << "mark " << mark;
    }
  }

  std::string source;
};

TEST_F(FilterTimingTest, DeinterlacerAtFrameRateKeepsTheLength) {
  const std::string out = Filtered("yadif");
  EXPECT_NEAR(CountFrames(out, "v:0"), 125, 1);
  ExpectInStep(out, 0.04);
}

TEST_F(FilterTimingTest, DeinterlacerAtFieldRateDoublesTheFrames) {
  // One picture per field: twice the frames over the same time.
  const std::string out = Filtered("yadif=1");
  EXPECT_NEAR(CountFrames(out, "v:0"), 250, 2);
  const auto streams = ProbeStreams(out);
  ASSERT_FALSE(streams.empty());
  EXPECT_EQ(streams[0].at("r_frame_rate"), "50/1");
  ExpectInStep(out, 0.02);
}

TEST_F(FilterTimingTest, FrameRateFilterSetsTheOutputRate) {
  const std::string out = Filtered("fps=10");
  EXPECT_NEAR(CountFrames(out, "v:0"), 50, 1);
  ExpectInStep(out, 0.1);
}

TEST_F(FilterTimingTest, ChosenFrameRateWinsOverTheFilters) {
  // With a rate asked for, the filter's ten pictures a second fill 25 slots.
  const std::string out = Filtered("fps=10", "r=25");
  EXPECT_NEAR(CountFrames(out, "v:0"), 125, 1);
  ExpectInStep(out, 0.1);
}

TEST_F(FilterTimingTest, StartAtZeroKeepsTheSoundInStep) {
  const std::string out = Filtered("setpts=PTS-STARTPTS");
  EXPECT_NEAR(CountFrames(out, "v:0"), 125, 1);
  ExpectInStep(out, 0.04);
}

TEST_F(FilterTimingTest, FasterPicturesEndAtHalfTime) {
  // Twice as fast: the pictures end at 2.5 s, with no frozen picture after;
  // each lands within a frame of half its time.
  const std::string out = Filtered("setpts=0.5*PTS");
  const Span video = StreamSpan(out, "v:0"), audio = StreamSpan(out, "a:0");
  EXPECT_NEAR(video.Length(), 2.5, 0.08);
  EXPECT_NEAR(audio.Length(), StreamSpan(source, "a:0").Length(), 0.05);
  EXPECT_NEAR(CountFrames(out, "v:0"), 63, 2);
  const auto flashes = FlashTimes(out), sourceFlashes = FlashTimes(source);
  for (double mark : kMarks) {
    const double half = Nearest(sourceFlashes, mark) / 2;
    EXPECT_NEAR(Nearest(flashes, half), half, 0.07) << "mark " << mark;
  }
}

}  // namespace
}  // namespace moskvid::test
