// The video stage thread: the same bytes as the one-thread path, and the
// pictures really leave the thread that reads the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <thread>

#include "engine/custom_ffmpeg.h"
#include "support/test_support.h"

namespace moskvid::test {
namespace {

struct RunResult {
  std::string Hashes;  // the packets of every stream, as written
  std::set<std::thread::id> PictureThreads;
  int DuplicatedFrames = 0;
  int DroppedFrames = 0;
};

class PipelineTest : public ::testing::Test {
 protected:
  void SetUp() override { LoadLibrariesOrDie(); }

  // One conversion with two codec threads, with the stage thread or without.
  RunResult Run(const std::string& input, const std::string& options, bool pipeline) {
    const std::string out = scratch.File(std::string(pipeline ? "staged" : "inline") + ".mp4");
    TCustomFFmpeg engine;
    engine.ResetOptions();
    std::mutex lock;
    RunResult result;
    // The before-hook sees every picture on the thread that works on it; the
    // picture hook itself is never asked.
    engine.BeforeHookHandler = [&](TCustomFFmpeg&, THookAction& action, int64_t) {
      std::lock_guard<std::mutex> hold(lock);
      result.PictureThreads.insert(std::this_thread::get_id());
      action = haIgnore;
    };
    engine.CustomHookHandler = [](TCustomFFmpeg&, TBitmap24&, int, int64_t, bool&, bool&) {
      ADD_FAILURE() << "the picture hook was asked";
    };
    EXPECT_TRUE(engine.OpenInputFile(input)) << engine.ErrorText;
    engine.ApplyOptionText(options + (pipeline ? "\npipeline=1" : "\npipeline=0"));
    EXPECT_TRUE(engine.OpenOutputFile(out)) << engine.ErrorText;
    engine.Options.ThreadCount = 2;
    engine.TranscodeRun();
    EXPECT_FALSE(engine.HasException) << engine.ExceptionMessage;
    EXPECT_TRUE(engine.Finished);
    result.DuplicatedFrames = engine.FramesDuplicated;
    result.DroppedFrames = engine.FramesDropped;
    result.Hashes = RunCommand("ffmpeg -v error -i " + Quote(out) +
                               " -map 0 -c copy -f framemd5 - | grep -v '^#'");
    return result;
  }

  void ExpectSameOutput(const std::string& input, const std::string& options, double frames) {
    const RunResult inline_ = Run(input, options, false);
    const RunResult staged = Run(input, options, true);
    EXPECT_EQ(staged.Hashes, inline_.Hashes);
    EXPECT_EQ(staged.DuplicatedFrames, inline_.DuplicatedFrames);
    EXPECT_EQ(staged.DroppedFrames, inline_.DroppedFrames);
    const std::string out = scratch.File("staged.mp4");
    // Within a frame at either end.
    EXPECT_NEAR(CountFrames(out, "v:0"), frames, 2);
    EXPECT_GT(CountSamples(out), 0);
    // One picture thread each, and the stage's is not the caller's.
    ASSERT_EQ(inline_.PictureThreads.size(), 1u);
    EXPECT_EQ(*inline_.PictureThreads.begin(), std::this_thread::get_id());
    ASSERT_EQ(staged.PictureThreads.size(), 1u);
    EXPECT_NE(*staged.PictureThreads.begin(), std::this_thread::get_id());
  }

  ScratchDir scratch;
};

TEST_F(PipelineTest, ScaledMpeg4AndAacAreTheSameBytes) {
  ExpectSameOutput(Media("h264_aac.mp4"),
                   "vcodec=mpeg4\nb=512000\ns=176x144\nacodec=aac\nab=128000\nar=48000", 3 * 25);
}

TEST_F(PipelineTest, LetterBoxAndFrameRateChangeAreTheSameBytes) {
  // 9 s of variable-rate video into 29.97 fps: pictures are repeated and
  // dropped on the stage thread as they were inline.
  ExpectSameOutput(Media("sync_vfr.mkv"),
                   "vcodec=mpeg4\nb=512000\ns=320x180\npadtop=30\npadbottom=30\nr=30000/1001\n"
                   "acodec=aac\nab=96000",
                   9 * 30000.0 / 1001);
}

TEST_F(PipelineTest, FiltersAreTheSameBytes) {
  ExpectSameOutput(Media("mpeg4_mp3_720p.avi"),
                   "vcodec=mpeg4\nb=1000000\nvfilters=hflip,scale=320:180\nacodec=aac", 3 * 25);
}

TEST_F(PipelineTest, RetimingFiltersAreTheSameBytes) {
  // The sink's own time base and rate reach the clock on the stage thread.
  ExpectSameOutput(Media("h264_aac.mp4"), "vcodec=mpeg4\nvfilters=fps=10\nacodec=aac", 3 * 10);
}

// The MD5 of every decoded picture, by the ffmpeg tool; `filter` scales
// them first.
std::string PictureHashes(const std::string& file, const std::string& filter = "") {
  return RunCommand("ffmpeg -v error -nostdin -i " + Quote(file) + " -map 0:v:0 " +
                    (filter.empty() ? "" : "-vf " + filter + " ") +
                    "-pix_fmt yuv420p -f framemd5 - | grep -v '^#' | cut -d, -f6");
}

// The scaler works on the task's codec threads: into a lossless encoder, one
// thread and three give the same pictures, and those of the ffmpeg tool's
// scaler with the same flags.
TEST(ThreadedScalingTest, ThreadCountsGiveTheSamePictures) {
  LoadLibrariesOrDie();
  ScratchDir scratch;
  int outputs = 0;
  const auto convert = [&](const std::string& input, const std::string& options, int threads) {
    // An existing output is not replaced: each conversion writes a new one.
    const std::string out = scratch.File(std::to_string(++outputs) + ".mkv");
    TCustomFFmpeg engine;
    engine.ResetOptions();
    EXPECT_TRUE(engine.OpenInputFile(input)) << engine.ErrorText;
    engine.ApplyOptionText("vcodec=ffv1\nan=1\n" + options);
    EXPECT_TRUE(engine.OpenOutputFile(out)) << engine.ErrorText;
    engine.Options.ThreadCount = threads;
    engine.TranscodeRun();
    EXPECT_TRUE(engine.Finished && !engine.HasException) << engine.ExceptionMessage;
    return PictureHashes(out);
  };
  struct Case {
    std::string input, options, filter;
  };
  const Case cases[] = {
      {Media("h264_aac_1080p.mp4"), "s=640x360", "scale=640:360:flags=bicubic"},
      // Scaled into the picture inside the bars, black as the tool's (Y 16).
      {Media("h264_aac_1080p.mp4"), "s=320x180\npadtop=30\npadbottom=30\npadcolor=0",
       "scale=320:180:flags=bicubic,pad=320:240:0:30:black"},
      // An odd 4:2:2 source, cut by a column and a row, into 4:2:0.
      {Media("odd_422.mkv"), "s=160x120\npix_fmt=yuv420p", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string one = convert(c.input, c.options, 1);
    ASSERT_GT(std::count(one.begin(), one.end(), '\n'), 20) << one;
    EXPECT_EQ(convert(c.input, c.options, 3), one);
    if (!c.filter.empty()) {
      EXPECT_EQ(PictureHashes(c.input, c.filter), one);
    }
  }
}

}  // namespace
}  // namespace moskvid::test
