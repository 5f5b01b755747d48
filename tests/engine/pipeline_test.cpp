// The video stage thread: the same bytes as the one-thread path, and the
// pictures really leave the thread that reads the file.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace moskvid::test
