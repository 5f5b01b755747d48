// Tasks of two passes: one task, one end, one progress from nothing to the
// whole length, the first pass's files gone after either way it ends.
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "component/converter_test_support.h"

namespace moskvid::test {
namespace {

TEST(PassProgressTest, EachPassIsHalfTheWork) {
  struct Row {
    int pass, current, total, shown;
  } const rows[] = {
      {0, 1234, 9000, 1234},  // one pass: as reported
      {1, 0, 9000, 0},       {1, 4000, 9000, 2000}, {1, 9000, 9000, 4500}, {2, 0, 9000, 4500},
      {2, 9000, 9000, 9000}, {2, 9500, 9000, 9000},  // a last packet past the length
      {1, 4000, 0, 0},                               // no length known: nothing to show yet
      {2, 4000, 0, 4000},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(PassProgress(row.pass, row.current, row.total), row.shown)
        << "pass " << row.pass << ", " << row.current << " of " << row.total;
  }
}

// The temporary folder is the scratch's own while a test runs.
class TwoPassTest : public ConverterTest {
 protected:
  void SetUp() override {
    ConverterTest::SetUp();
    if (const char* old = ::getenv("TMPDIR")) oldTmp_ = old;
    std::filesystem::create_directory(Temp());
    ::setenv("TMPDIR", Temp().c_str(), 1);
    converter.OnProgress = [this](int, int, int, int current, float, float, int64_t, int total) {
      std::lock_guard<std::mutex> lock(mutex);
      progress.emplace_back(current, total);
    };
  }
  void TearDown() override {
    if (oldTmp_.empty()) {
      ::unsetenv("TMPDIR");
    } else {
      ::setenv("TMPDIR", oldTmp_.c_str(), 1);
    }
  }

  std::string Temp() { return scratch.File("tmp"); }
  bool TempIsEmpty() { return std::filesystem::is_empty(Temp()); }

  int AddTwoPassTask(const std::string& output, const std::string& codec,
                     const std::string& options = "") {
    const int index = converter.AddInput(Media("sync_25.mp4"));
    EXPECT_GE(index, 0) << converter.LastError();
    TOutputOptions record;
    record.VideoCodec = codec;
    record.VideoBitsPerSecond = 300000;
    record.AudioCodec = "aac";
    record.Passes = 2;
    record.ExtOptions = options;
    EXPECT_TRUE(converter.SetOutput(index, output, &record)) << converter.LastError();
    return index;
  }

  std::vector<std::pair<int, int>> progress;  // current, total; guarded by mutex

 private:
  std::string oldTmp_;
};

TEST_F(TwoPassTest, OneTaskOneProgressAndNothingLeftBehind) {
  converter.SetProgressInterval(100);
  for (const char* codec : {"mpeg4", "libx264"}) {
    SCOPED_TRACE(codec);
    progress.clear();
    events.clear();
    const std::string out = scratch.File(std::string(codec) + ".mp4");
    AddTwoPassTask(out, codec);
    converter.StartConvert(1);
    ASSERT_TRUE(WaitForEnd());
    converter.ClearTasks();

    const auto ends = Terminations();
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_TRUE(ends[0].finished);
    EXPECT_FALSE(ends[0].exception) << ends[0].message;
    // The second pass wrote the whole file, sound included.
    EXPECT_EQ(CountFrames(out, "v:0"), 225);
    EXPECT_GT(CountFrames(out, "a:0"), 0);
    EXPECT_TRUE(TempIsEmpty()) << "the statistics stay behind";
    EXPECT_FALSE(std::filesystem::exists("pass-0.log"));
    EXPECT_FALSE(std::filesystem::exists("x264_2pass.log"));

    // One rise from the first half to the end, never back.
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_FALSE(progress.empty());
    const int total = progress.back().second;
    ASSERT_GT(total, 8000);
    bool firstHalf = false;
    for (size_t i = 0; i < progress.size(); ++i) {
      firstHalf |= progress[i].first < total / 2;
      if (i > 0) {
        EXPECT_GE(progress[i].first, progress[i - 1].first) << "event " << i;
      }
    }
    EXPECT_TRUE(firstHalf);
    EXPECT_GE(progress.back().first, total * 95 / 100);
  }
  // The second encoder's statistics say two passes.
  const std::string settings = RunCommand("strings " + Quote(scratch.File("libx264.mp4")) +
                                          " | grep -o 'rc=2pass' | head -1");
  EXPECT_EQ(settings, "rc=2pass\n");
}

TEST_F(TwoPassTest, AStopInTheFirstPassEndsTheTaskThere) {
  // The first pass writes into nothing; its header line comes before any
  // picture is read.
  std::atomic<bool> stopped{false};
  converter.OnLog = [this, &stopped](int, TLogLevel, const std::string& message) {
    if (message.find("Output #0, null") == std::string::npos) return;
    stopped = true;
    converter.StopConvert();
  };
  const std::string out = scratch.File("stopped.mp4");
  AddTwoPassTask(out, "mpeg4");
  converter.StartConvert(1);
  ASSERT_TRUE(WaitForEnd());
  ASSERT_TRUE(stopped);
  const auto ends = Terminations();
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_FALSE(ends[0].finished);
  EXPECT_FALSE(ends[0].exception) << ends[0].message;
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_FALSE(std::filesystem::exists(out + ".part"));
  EXPECT_TRUE(TempIsEmpty());
}

TEST_F(TwoPassTest, AFirstPassThatFailsFailsTheTask) {
  // Baseline H.264 has no 4:4:4 pictures: the encoder refuses to open.
  const std::string out = scratch.File("failed.mp4");
  AddTwoPassTask(out, "libx264", "pix_fmt=yuv444p\nvprofile=66");
  converter.StartConvert(1);
  ASSERT_TRUE(WaitForEnd());
  const auto ends = Terminations();
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_FALSE(ends[0].finished);
  EXPECT_TRUE(ends[0].exception);
  EXPECT_NE(ends[0].message.find("Error while opening codec"), std::string::npos)
      << ends[0].message;
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_TRUE(TempIsEmpty());
}

}  // namespace
}  // namespace moskvid::test
