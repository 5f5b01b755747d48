// Outputs appear under their final name only when whole: a failed run keeps
// its part under a name that says so, a stopped one its playable part, and
// nothing of the user's is replaced or written through a planted link.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "engine/engine_test_support.h"

namespace moskvid::test {
namespace {

namespace fs = std::filesystem;

class WholeOutputTest : public EngineTest {
 protected:
  const std::vector<std::string> kMpeg4 = {"vcodec=mpeg4", "acodec=aac", "vb=400000"};

  // Calls `act` at every progress report once `afterMs` of output is done.
  void AtProgress(int afterMs, std::function<void()> act) {
    engine.ProgressIntervalUs = 0;
    engine.ProgressHandler = [=](TCustomFFmpeg&, int, int, int currentMs, float, float, int64_t,
                                 int) {
      if (currentMs >= afterMs) act();
    };
  }

  static std::string Content(const std::string& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void Write(const std::string& file, const std::string& text) {
    std::ofstream(file) << text;
  }
  // The folder's names, sorted.
  static std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(WholeOutputTest, FailureKeepsOnlyTheFailedPartWithItsTrailer) {
  const std::string folder = scratch.File("out");
  fs::create_directory(folder);
  const std::string output = folder + "/clip_(new).mp4";
  AtProgress(1000, [] { throw std::runtime_error("the disk went away"); });
  ASSERT_TRUE(Convert(Media("h264_aac.mp4"), {}, output, kMpeg4)) << engine.ErrorText;
  ASSERT_TRUE(engine.HasException);
  EXPECT_EQ(Names(folder), std::vector<std::string>{"clip_(new).failed.mp4"});
  // Readable: the trailer was written before it got that name.
  const int frames = CountFrames(folder + "/clip_(new).failed.mp4", "v:0");
  EXPECT_GT(frames, 10);
  EXPECT_LT(frames, 75);

  // A run that fails before writing anything leaves nothing at all.
  engine.ResetOptions();
  engine.ApplyOptionText("ss=60");
  ASSERT_TRUE(engine.OpenInputFile(Media("h264_aac.mp4")));
  for (const std::string& line : kMpeg4)
    engine.ApplyOptionText(line);
  ASSERT_TRUE(engine.OpenOutputFile(folder + "/late_(new).mp4")) << engine.ErrorText;
  engine.TranscodeRun();
  EXPECT_TRUE(engine.HasException);
  EXPECT_EQ(Names(folder), std::vector<std::string>{"clip_(new).failed.mp4"});
}

TEST_F(WholeOutputTest, StopKeepsThePlayablePartUnderTheFinalName) {
  const std::string output = scratch.File("clip_(new).mp4");
  AtProgress(1000, [this] { engine.RequestStop(); });
  ASSERT_TRUE(Convert(Media("h264_aac.mp4"), {}, output, kMpeg4)) << engine.ErrorText;
  EXPECT_FALSE(engine.HasException) << engine.ExceptionMessage;
  EXPECT_FALSE(engine.Finished);
  EXPECT_FALSE(fs::exists(output + ".part"));
  const int frames = CountFrames(output, "v:0");
  EXPECT_GT(frames, 10);
  EXPECT_LT(frames, 75);
}

TEST_F(WholeOutputTest, NothingOfTheUsersIsReplacedOrWrittenThrough) {
  const std::string folder = scratch.File("out");
  fs::create_directory(folder);
  const std::string output = folder + "/clip_(new).mp4";
  // Links planted where the output and its part would go, to files of the user's.
  Write(scratch.File("victim1"), "mine");
  Write(scratch.File("victim2"), "mine too");
  fs::create_symlink(scratch.File("victim1"), output);
  fs::create_symlink(scratch.File("victim2"), output + ".part");
  ASSERT_TRUE(Convert(Media("h264_aac.mp4"), {}, output, kMpeg4)) << engine.ErrorText;
  ASSERT_TRUE(engine.Finished) << engine.ExceptionMessage;
  EXPECT_EQ(Content(scratch.File("victim1")), "mine");
  EXPECT_EQ(Content(scratch.File("victim2")), "mine too");
  EXPECT_TRUE(fs::is_symlink(output));
  EXPECT_EQ(CountFrames(folder + "/clip_(new_1).mp4", "v:0"), 75);

  // A file that appears under the final name while the run converts stays.
  engine.ResetOptions();
  fs::remove(output);
  fs::remove(output + ".part");
  bool planted = false;
  AtProgress(500, [&] {
    if (planted) return;
    planted = true;
    Write(folder + "/other", "someone else's");
    fs::rename(folder + "/other", output);
  });
  ASSERT_TRUE(Convert(Media("h264_aac.mp4"), {}, output, kMpeg4)) << engine.ErrorText;
  ASSERT_TRUE(engine.Finished) << engine.ExceptionMessage;
  EXPECT_EQ(Content(output), "someone else's");
  EXPECT_EQ(CountFrames(folder + "/clip_(new_2).mp4", "v:0"), 75);
  EXPECT_EQ(Names(folder),
            (std::vector<std::string>{"clip_(new).mp4", "clip_(new_1).mp4", "clip_(new_2).mp4"}));
}

}  // namespace
}  // namespace moskvid::test
