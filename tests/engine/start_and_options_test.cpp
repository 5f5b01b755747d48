// Where a conversion starts, what it must have written to count as finished,
// and option names that nothing takes.
#include <sys/stat.h>

#include <cmath>
#include <filesystem>

#include "engine/engine_test_support.h"
#include "engine/option_parsing.h"

namespace moskvid::test {
namespace {

class StartAndOptionsTest : public EngineTest {
 protected:
  // Five seconds of 160x120 pictures at 25 fps and a tone; `videoSeconds`
  // shortens the pictures while the tone keeps its five seconds.
  std::string Clip(const std::string& name, int videoSeconds = 5) {
    const std::string file = scratch.File(name);
    RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=25:duration=" +
               std::to_string(videoSeconds) +
               " -f lavfi -i sine=frequency=1000:duration=5 -c:v libx264 -preset ultrafast"
               " -pix_fmt yuv420p -c:a aac " +
               Quote(file));
    return file;
  }

  bool LoggedAt(int level, const std::string& text) const {
    for (size_t i = 0; i < logLines.size(); ++i) {
      if (logLevels[i] == level && logLines[i].find(text) != std::string::npos) return true;
    }
    return false;
  }

  static double Seconds(const std::string& file) { return ToDouble(ProbeFormat(file)["duration"]); }

  // A pipe that `source` is written into once the engine opens it; a pipe
  // cannot be sought.
  std::string Pipe(const std::string& source, const std::string& name) {
    const std::string pipe = scratch.File(name);
    EXPECT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // The writer gives up on its own if the engine never opens the pipe.
    RunCommand("(timeout 60 sh -c " + Quote("cat " + Quote(source) + " > " + Quote(pipe)) +
               " &) >/dev/null 2>&1");
    return pipe;
  }
};

TEST_F(StartAndOptionsTest, StartAtOrBeyondTheEndFailsNamingStartAndDuration) {
  const std::string clip = Clip("five.mp4");
  // The duration as the container gives it, rounded up to a millisecond.
  const double duration = Seconds(clip);
  ASSERT_GT(duration, 4.9);
  const int atEndMs = static_cast<int>(std::ceil(duration * 1000));
  const std::string durationText = Format("00:00:%06.3f", std::floor(duration * 1000) / 1000);

  struct Case {
    std::vector<std::string> inputOptions;
    int startMs;  // through the input record, when above 0
    std::vector<std::string> outputOptions;
    std::string startText;
  };
  const Case cases[] = {
      {{"ss=60"}, 0, {}, "00:01:00.000"},
      {{}, atEndMs, {}, Format("00:00:%06.3f", atEndMs / 1000.0)},
      {{}, 0, {"ss=7.5"}, "00:00:07.500"},
  };
  for (const Case& c : cases) {
    engine.ResetOptions();
    logLines.clear();
    logLevels.clear();
    const std::string out = scratch.File("late.mp4");
    for (const std::string& line : c.inputOptions)
      engine.ApplyOptionText(line);
    if (c.startMs > 0) {
      TInputOptions record;
      record.StartTime = c.startMs;
      engine.ApplyInputOptions(record);
    }
    ASSERT_TRUE(engine.OpenInputFile(clip)) << engine.ErrorText;
    for (const std::string& line : c.outputOptions)
      engine.ApplyOptionText(line);
    ASSERT_TRUE(engine.OpenOutputFile(out)) << engine.ErrorText;
    engine.TranscodeRun();

    EXPECT_TRUE(engine.HasException) << c.startText;
    EXPECT_FALSE(engine.Finished) << c.startText;
    const std::string& message = engine.ExceptionMessage;
    EXPECT_NE(message.find(c.startText), std::string::npos) << message;
    EXPECT_NE(message.find(durationText), std::string::npos) << message;
    EXPECT_NE(message.find(clip), std::string::npos) << message;
    EXPECT_TRUE(LoggedAt(-1, message)) << message;
    // Nothing was written, so no file is left that would pass for a conversion.
    EXPECT_FALSE(std::filesystem::exists(out)) << c.startText;
  }
}

TEST_F(StartAndOptionsTest, StartInsideTheInputConvertsTheRest) {
  const std::string clip = Clip("five.mp4");
  const std::string out = scratch.File("tail.mp4");
  TInputOptions record;
  record.StartTime = 4000;
  engine.ApplyInputOptions(record);
  ConvertOrFail(clip, {}, out, {"vcodec=mpeg4", "acodec=aac"});
  // The last second: 25 pictures and a second of sound.
  EXPECT_NEAR(CountFrames(out, "v:0"), 25, 1);
  EXPECT_NEAR(CountSamples(out) / 44100.0, 1.0, 0.1);
  EXPECT_NEAR(Seconds(out), 1.0, 0.1);
}

// A pipe cannot be sought: that is said, and the part before the start is
// still left out by decoding past it.
TEST_F(StartAndOptionsTest, FailedSeekIsReportedAndTheStartStillHolds) {
  const std::string ts = scratch.File("five.ts");
  RunCommand("ffmpeg -v error -y -i " + Quote(Clip("five.mp4")) + " -c copy " + Quote(ts));
  const std::string pipe = Pipe(ts, "five.pipe");
  const std::string out = scratch.File("from-pipe.mp4");
  ConvertOrFail(pipe, {"ss=2"}, out, {"vcodec=mpeg4", "acodec=aac"});
  EXPECT_TRUE(LoggedAt(0, "Could not seek to 00:00:02.000 in " + pipe))
      << ::testing::PrintToString(logLines);
  EXPECT_NEAR(CountFrames(out, "v:0"), 75, 1);
  EXPECT_NEAR(Seconds(out), 3.0, 0.1);
}

// Without the seek, stream copy still begins at the key frame at the start,
// and pictures re-encoded without frame-rate synchronisation ("vsync=0")
// still leave out what comes before it: both start at zero, in step with
// the sound, as after a seek.
TEST_F(StartAndOptionsTest, FailedSeekKeepsTheStartForCopyAndUntimedPictures) {
  const std::string ts = scratch.File("sync.ts");
  RunCommand("ffmpeg -v error -y -i " + Quote(Media("sync_25.mp4")) + " -c copy " + Quote(ts));
  for (const char* options : {"vcodec=copy\nacodec=copy", "vcodec=mpeg4\nvsync=0\nacodec=aac"}) {
    engine.ResetOptions();
    logLines.clear();
    logLevels.clear();
    const std::string out = scratch.File("from-pipe.mkv");
    ConvertOrFail(Pipe(ts, "sync.pipe"), {"ss=1"}, out, {options});
    std::filesystem::remove(scratch.File("sync.pipe"));
    EXPECT_TRUE(LoggedAt(0, "Could not seek to 00:00:01.000")) << options;
    const Span video = StreamSpan(out, "v:0"), audio = StreamSpan(out, "a:0");
    EXPECT_NEAR(video.start, 0, 0.05) << options;
    EXPECT_NEAR(audio.start, 0, 0.05) << options;
    EXPECT_NEAR(video.Length(), 8, 0.1) << options;
    // The flash and the beep at 2 s of the source, at 1 s of the output.
    EXPECT_NEAR(Nearest(FlashTimes(out), 1), 1, 0.05) << options;
    EXPECT_NEAR(Nearest(BeepTimes(out), 1), 1, 0.05) << options;
  }
}

TEST_F(StartAndOptionsTest, AStreamThatWroteNothingFailsTheRun) {
  // One second of pictures under five seconds of sound.
  const std::string clip = Clip("short-video.mp4", 1);

  // Started after the pictures end: the output would hold sound only.
  const std::string out = scratch.File("no-video.mp4");
  ASSERT_TRUE(Convert(clip, {"ss=3"}, out, {"vcodec=mpeg4", "acodec=aac"})) << engine.ErrorText;
  EXPECT_TRUE(engine.HasException);
  EXPECT_FALSE(engine.Finished);
  EXPECT_NE(engine.ExceptionMessage.find("No video packet was written"), std::string::npos)
      << engine.ExceptionMessage;
  EXPECT_TRUE(LoggedAt(-1, engine.ExceptionMessage));
  // A file without the pictures it was asked for is not left behind.
  EXPECT_FALSE(std::filesystem::exists(out));

  // A short stream that gave something is fine.
  engine.ResetOptions();
  const std::string some = scratch.File("some-video.mp4");
  ConvertOrFail(clip, {"ss=0.5"}, some, {"vcodec=mpeg4", "acodec=aac"});
  EXPECT_NEAR(CountFrames(some, "v:0"), 13, 1);
  EXPECT_NEAR(CountSamples(some) / 44100.0, 4.5, 0.1);

  // Sound only, asked for: nothing is missing.
  engine.ResetOptions();
  const std::string sound = scratch.File("sound.m4a");
  ConvertOrFail(clip, {"ss=3"}, sound, {"vn=1", "acodec=aac"});
  const auto streams = ProbeStreams(sound);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].at("codec_type"), "audio");
  EXPECT_NEAR(CountSamples(sound) / 44100.0, 2.0, 0.1);

  // A still picture gives its one picture.
  engine.ResetOptions();
  const std::string picture = scratch.File("still.mp4");
  ConvertOrFail(Media("still.png"), {}, picture, {"vcodec=mpeg4"});
  EXPECT_GE(CountFrames(picture, "v:0"), 1);

  // Lyrics with tags and no line (found by transcode_fuzzer): the output
  // would hold an empty subtitle track, which Matroska cannot even open.
  engine.ResetOptions();
  const std::string lyrics = scratch.File("tags.lrc");
  RunCommand("printf '[ar:Someone]\\n[ti:Nothing sung]\\n' > " + Quote(lyrics));
  const std::string empty = scratch.File("empty.mkv");
  ASSERT_TRUE(Convert(lyrics, {}, empty, {})) << engine.ErrorText;
  EXPECT_TRUE(engine.HasException);
  EXPECT_NE(engine.ExceptionMessage.find("No packet was written to " + empty), std::string::npos)
      << engine.ExceptionMessage;
  EXPECT_FALSE(std::filesystem::exists(empty));
}

TEST_F(StartAndOptionsTest, UnknownOptionNamesAreWarnedAndIgnored) {
  const std::string clip = Clip("five.mp4");
  const std::string out = scratch.File("options.mp4");
  // Names of the library's options, of an encoder's and of a muxer's own.
  ConvertOrFail(clip, {"crff=20"}, out,
                {"vcodec=libx264", "preset=ultrafast", "g=12", "movflags=+faststart", "qmaxx=30",
                 "acodec=aac"});
  EXPECT_TRUE(LoggedAt(0, "Unrecognized option 'crff' ignored"))
      << ::testing::PrintToString(logLines);
  EXPECT_TRUE(LoggedAt(0, "Unrecognized option 'qmaxx' ignored"));
  for (const char* known : {"preset", "g", "movflags", "vcodec", "acodec"}) {
    EXPECT_FALSE(Logged(std::string("Unrecognized option '") + known + "'")) << known;
  }
  // The known ones took effect and the conversion is whole.
  EXPECT_EQ(ProbeStreams(out)[0].at("codec_name"), "h264");
  EXPECT_EQ(CountFrames(out, "v:0"), 125);
}

}  // namespace
}  // namespace moskvid::test
