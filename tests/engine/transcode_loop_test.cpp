// The main loop: limits, the end of the shortest input, discontinuities,
// stop requests and the faults it must survive.
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <thread>

#include "engine/engine_test_support.h"

namespace moskvid::test {
namespace {

using TranscodeLoopTest = EngineTest;

TEST_F(TranscodeLoopTest, RecordingTimeCutsEveryStream) {
  const std::string out = scratch.File("cut.mp4");
  ConvertOrFail(Media("sync_25.mp4"), {}, out, {"vcodec=mpeg4\nacodec=aac\nt=1.5"});
  EXPECT_EQ(CountFrames(out, "v:0"), 38);  // 0 .. 1.48 s at 25 fps
  EXPECT_NEAR(CountSamples(out), 1.5 * 44100, 1024);
  const auto streams = ProbeStreams(out);
  EXPECT_NEAR(ToDouble(streams[0].at("duration")), 1.5, 0.041);
}

TEST_F(TranscodeLoopTest, RecordingTimeStopsReadingEarly) {
  // The decoder is not kept busy with the rest of the file once every
  // stream has what it wants.
  int pictures = 0;
  engine.CustomHookHandler = [&](TCustomFFmpeg&, TBitmap24&, int, int64_t, bool& update, bool&) {
    update = false;
    ++pictures;
  };
  ConvertOrFail(Media("sync_25.mp4"), {}, scratch.File("short.mp4"),
                {"vcodec=mpeg4\nacodec=aac\nt=1"});
  EXPECT_GE(pictures, 25);
  EXPECT_LT(pictures, 40);
}

TEST_F(TranscodeLoopTest, RecordingTimeAlsoCutsStreamCopy) {
  const std::string out = scratch.File("cut.mkv");
  ConvertOrFail(Media("h264_aac.mkv"), {}, out, {"vcodec=copy\nacodec=copy\nt=2"});
  const auto times = PacketTimes(out, "v:0");
  ASSERT_FALSE(times.empty());
  EXPECT_LT(*std::max_element(times.begin(), times.end()), 2.0);
  EXPECT_GT(*std::max_element(times.begin(), times.end()), 1.9);
}

TEST_F(TranscodeLoopTest, FileSizeLimitEndsTheLoop) {
  const std::string out = scratch.File("small.mp4");
  ConvertOrFail(Media("h264_aac_1080p.mp4"), {}, out, {"vcodec=mpeg4\nb=4000000\nfs=150000"});
  const auto size = std::filesystem::file_size(out);
  EXPECT_GT(size, 150000u);
  EXPECT_LT(size, 600000u);
  EXPECT_LT(CountFrames(out, "v:0"), 50);
}

TEST_F(TranscodeLoopTest, ShortestInputEndsTheConversion) {
  for (bool shortest : {false, true}) {
    engine.ResetOptions();
    const std::string out = scratch.File(shortest ? "short.mkv" : "long.mkv");
    ASSERT_TRUE(engine.OpenInputFile(Media("video_only.mp4")));
    ASSERT_TRUE(engine.OpenInputFile(Media("sync_25.mp4")));
    engine.ApplyOptionText("map=0.0\nmap=1.1\nvcodec=copy\nacodec=copy");
    if (shortest) engine.SetOption("shortest", "1");
    ASSERT_TRUE(engine.OpenOutputFile(out)) << engine.ErrorText;
    engine.TranscodeRun();
    ASSERT_TRUE(engine.Finished) << engine.ExceptionMessage;
    const double duration = ToDouble(ProbeFormat(out).at("duration"));
    if (shortest) {
      EXPECT_NEAR(duration, 3.0, 0.6);
    } else {
      EXPECT_NEAR(duration, 9.0, 0.2);
    }
  }
}

TEST_F(TranscodeLoopTest, TimeStampJumpIsClosed) {
  const std::string out = scratch.File("jump.mp4");
  ConvertOrFail(Media("ts_jump.ts"), {}, out, {"vcodec=mpeg4"});
  EXPECT_EQ(CountFrames(out, "v:0"), 100);
  EXPECT_NEAR(ToDouble(ProbeStreams(out)[0].at("duration")), 4.0, 0.05);

  // Copied time stamps keep the gap.
  engine.ResetOptions();
  const std::string kept = scratch.File("kept.mkv");
  ConvertOrFail(Media("ts_jump.ts"), {"copyts=1"}, kept, {"vcodec=copy"});
  const auto times = PacketTimes(kept, "v:0");
  ASSERT_FALSE(times.empty());
  EXPECT_GT(times.back() - times.front(), 20.0);
}

TEST_F(TranscodeLoopTest, StopRequestStillWritesTheTrailer) {
  const std::string out = scratch.File("stopped.mp4");
  // A report after every packet, and the stop once a second of pictures is
  // out: by then the sound of that second has been read too, however slow
  // the machine is.
  engine.ProgressIntervalUs = 0;
  engine.ProgressHandler = [&](TCustomFFmpeg& e, int frame, int, int, float, float, int64_t, int) {
    if (frame >= 25) e.RequestStop();
  };
  ASSERT_TRUE(Convert(Media("h264_aac_1080p.mp4"), {}, out, {"vcodec=mpeg4\nacodec=aac"}));
  EXPECT_FALSE(engine.Finished);
  EXPECT_FALSE(engine.HasException);
  EXPECT_TRUE(engine.Terminated);
  // The file is complete and playable, and shorter than the source.
  const int frames = CountFrames(out, "v:0");
  EXPECT_GT(frames, 0);
  EXPECT_LT(frames, 50);
  EXPECT_GT(CountSamples(out), 0);
}

TEST_F(TranscodeLoopTest, PauseHoldsTheLoopUntilResume) {
  const std::string out = scratch.File("paused.mp4");
  ASSERT_TRUE(engine.OpenInputFile(Media("h264_aac.mp4")));
  engine.SetOption("vcodec", "mpeg4");
  ASSERT_TRUE(engine.OpenOutputFile(out));
  engine.Pause();
  std::thread worker([&] { engine.TranscodeRun(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(engine.Terminated);
  engine.Resume();
  worker.join();
  EXPECT_TRUE(engine.Finished);
  EXPECT_EQ(CountFrames(out, "v:0"), 75);
}

TEST_F(TranscodeLoopTest, BrokenInputsEndWithAPlayableFile) {
  const std::string truncated = scratch.File("truncated.mp4");
  ConvertOrFail(Media("truncated.mkv"), {}, truncated, {"vcodec=mpeg4\nacodec=aac"});
  EXPECT_GT(CountFrames(truncated, "v:0"), 10);

  engine.ResetOptions();
  const std::string garbage = scratch.File("garbage.mp4");
  ConvertOrFail(Media("garbage_middle.ts"), {}, garbage, {"vcodec=mpeg4\nacodec=aac"});
  EXPECT_GE(CountFrames(garbage, "v:0"), 60);
  EXPECT_GT(CountSamples(garbage), 44100);
}

TEST_F(TranscodeLoopTest, MissingOutputFolderIsRefused) {
  ASSERT_TRUE(engine.OpenInputFile(Media("h264_aac.mp4")));
  const std::string out = scratch.File("no/such/folder/out.mp4");
  EXPECT_FALSE(engine.OpenOutputFile(out));
  EXPECT_EQ(engine.ErrorText, "Could not open '" + out + "'");
  EXPECT_EQ(engine.NbOutputFiles(), 0);
}

TEST_F(TranscodeLoopTest, WriteFailureEndsTheRunAndClosesTheFile) {
  // A file size limit makes writes fail part way, as a full disk does.
  constexpr rlim_t kLimit = 200 * 1024;
  struct rlimit saved {};
  getrlimit(RLIMIT_FSIZE, &saved);
  struct rlimit limited = saved;
  limited.rlim_cur = kLimit;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  std::signal(SIGXFSZ, SIG_IGN);
  const std::string out = scratch.File("full.mp4");
  const bool opened = Convert(Media("h264_aac_1080p.mp4"), {}, out, {"vcodec=mpeg4\nb=8000000"});
  setrlimit(RLIMIT_FSIZE, &saved);
  ASSERT_TRUE(opened) << engine.ErrorText;
  EXPECT_TRUE(engine.HasException);
  EXPECT_EQ(engine.ExceptionMessage.rfind("av_interleaved_write_frame(): ", 0), 0u)
      << engine.ExceptionMessage;
  EXPECT_FALSE(engine.Finished);
  // What was written is kept, under a name that says the run failed.
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_LE(std::filesystem::file_size(scratch.File("full.failed.mp4")), kLimit);
}

TEST_F(TranscodeLoopTest, DecodingErrorsAreLoggedAndSkipped) {
  // Raw MPEG-2 elementary stream with a damaged middle.
  const std::string damaged = scratch.File("damaged.m2v");
  RunCommand("ffmpeg -v error -y -i " + Quote(Media("mpeg2_mp2.ts")) +
             " -an -c copy -f mpeg2video " + Quote(scratch.File("clean.m2v")));
  RunCommand("{ head -c 30000 " + Quote(scratch.File("clean.m2v")) +
             "; head -c 3000 /dev/zero | tr '\\0' '\\377'; tail -c +33001 " +
             Quote(scratch.File("clean.m2v")) + "; } > " + Quote(damaged));
  const std::string out = scratch.File("damaged.mp4");
  ConvertOrFail(damaged, {}, out, {"vcodec=mpeg4"});
  EXPECT_GT(CountFrames(out, "v:0"), 50);
}

}  // namespace
}  // namespace moskvid::test
