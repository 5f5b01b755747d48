// The task list while a run goes on: stops that meet a task as it starts,
// removals in the middle of a run, reading a running task's probe, and long
// batches under a small descriptor limit.
#include <sys/resource.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "component/converter_test_support.h"

namespace moskvid::test {
namespace {

const char* kSlow = "vcodec=mpeg4\nb=6000000";

// A run in single-thread mode whose timers the test fires itself, so that it
// can act between two tasks.
class ManualTimerTest : public ConverterTest {
 protected:
  void SetUp() override {
    ConverterTest::SetUp();
    converter.SetTimerService(
        [this](int, std::function<void()> callback) { timers.push_back(std::move(callback)); });
  }

  // Fires the next timer the component asked for; false when there is none.
  bool FireNext() {
    if (timers.empty()) return false;
    std::function<void()> callback = std::move(timers.front());
    timers.erase(timers.begin());
    callback();
    return true;
  }

  std::vector<int> TerminateIndexes() {
    std::vector<int> indexes;
    for (const Event& e : Terminations())
      indexes.push_back(e.index);
    return indexes;
  }

  std::vector<std::function<void()>> timers;
};

// A stop given right after a start claimed a task, before the task counts as
// running, must still end it and every task after it.
TEST_F(ConverterTest, StopBetweenClaimAndRunEndsEveryTask) {
  for (const int threads : {1, 0}) {
    SCOPED_TRACE("threads " + std::to_string(threads));
    {
      std::lock_guard<std::mutex> lock(mutex);
      events.clear();
    }
    converter.ClearTasks();
    const std::string first = scratch.File("claim" + std::to_string(threads) + "_0.mp4");
    const std::string second = scratch.File("claim" + std::to_string(threads) + "_1.mp4");
    AddTask(Media("h264_aac_1080p.mp4"), first, kSlow);
    AddTask(Media("h264_aac_1080p.mp4"), second, kSlow);
    std::atomic<int> claims{0};
    converter.OnTaskClaimed = [&](int) {
      if (claims++ == 0) converter.StopConvert();
    };
    converter.StartConvert(threads);  // with 0 the run happens inside this call
    ASSERT_TRUE(WaitForEnd());
    converter.ClearTasks();  // waits for every thread of the run
    converter.OnTaskClaimed = nullptr;
    const auto ends = Terminations();
    ASSERT_EQ(ends.size(), 3u);
    for (const Event& e : ends) {
      if (e.index >= 0) {
        EXPECT_FALSE(e.finished) << e.index;
        EXPECT_FALSE(e.exception) << e.index << " " << e.message;
      }
    }
    EXPECT_EQ(ends.back().index, -1);
    const int source = CountFrames(Media("h264_aac_1080p.mp4"), "v:0");
    ASSERT_GT(source, 10);
    // Neither file was converted to its end.
    EXPECT_LT(std::filesystem::exists(first) ? CountFrames(first, "v:0") : 0, source / 2);
    EXPECT_LT(std::filesystem::exists(second) ? CountFrames(second, "v:0") : 0, source / 2);
  }
}

// Four tasks one after another; the first is removed once it has finished.
TEST_F(ManualTimerTest, RemovingAFinishedTaskKeepsTheQueue) {
  std::vector<std::string> outputs;
  for (int i = 0; i < 4; ++i) {
    outputs.push_back(scratch.File("f" + std::to_string(i) + ".wav"));
    AddTask(Media("audio.mp3"), outputs.back(), "acodec=pcm_s16le");
  }
  converter.StartConvert(0);
  ASSERT_TRUE(FireNext());
  ASSERT_EQ(TerminateIndexes(), (std::vector<int>{0}));
  converter.RemoveTask(0);
  ASSERT_EQ(converter.TaskCount(), 3);
  while (FireNext()) {
  }
  EXPECT_EQ(TerminateIndexes(), (std::vector<int>{0, 0, 1, 2, -1}));
  for (const Event& e : Terminations())
    EXPECT_TRUE(e.finished) << e.index << " " << e.message;
  const long long samples = CountSamples(Media("audio.mp3"));
  ASSERT_GT(samples, 0);
  for (int i = 1; i < 4; ++i) {
    ASSERT_TRUE(std::filesystem::exists(outputs[i])) << outputs[i];
    EXPECT_NEAR(CountSamples(outputs[i]), samples, samples / 50) << outputs[i];
  }
}

// A task still waiting is removed: the others run and the run ends.
TEST_F(ManualTimerTest, RemovingAWaitingTaskKeepsTheQueue) {
  std::vector<std::string> outputs;
  for (int i = 0; i < 4; ++i) {
    outputs.push_back(scratch.File("w" + std::to_string(i) + ".wav"));
    AddTask(Media("audio.mp3"), outputs.back(), "acodec=pcm_s16le");
  }
  converter.StartConvert(0);
  ASSERT_TRUE(FireNext());
  converter.RemoveTask(2);
  while (FireNext()) {
  }
  EXPECT_EQ(TerminateIndexes(), (std::vector<int>{0, 1, 2, -1}));
  for (int i : {0, 1, 3}) {
    EXPECT_TRUE(std::filesystem::exists(outputs[i])) << outputs[i];
    EXPECT_GT(CountSamples(outputs[i]), 0) << outputs[i];
  }
  EXPECT_FALSE(std::filesystem::exists(outputs[2]));
}

// A held run as convert builds it: a task whose output was refused is
// removed while another waits behind the running one. The waiting one must
// still run, and the run must end once it is let go.
TEST_F(ManualTimerTest, RemovingARefusedTaskFromAHeldRunKeepsTheQueue) {
  converter.HoldRun(true);
  converter.StartConvert(0);
  AddTask(Media("audio.mp3"), scratch.File("a.wav"), "acodec=pcm_s16le");
  AddTask(Media("audio.mp3"), scratch.File("b.wav"), "acodec=pcm_s16le");
  const int refused = converter.AddInput(Media("audio.mp3"));
  ASSERT_EQ(refused, 2) << converter.LastError();
  TOutputOptions record;
  record.ExtOptions = "f=nosuchformat";
  ASSERT_FALSE(converter.SetOutput(refused, scratch.File("c.wav"), &record));
  converter.RemoveTask(refused);
  while (FireNext()) {
  }
  converter.HoldRun(false);
  while (FireNext()) {
  }
  EXPECT_EQ(TerminateIndexes(), (std::vector<int>{0, 1, -1}));
  EXPECT_GT(CountSamples(scratch.File("b.wav")), 0);
}

// On one worker: a waiting task is removed while the first runs, then the
// running one is removed; the rest still convert and the run ends once.
TEST_F(ConverterTest, RemovingWaitingAndRunningTasksOnAWorker) {
  std::vector<std::string> outputs;
  AddTask(Media("h264_aac_1080p.mp4"), scratch.File("long.mp4"), kSlow);
  for (int i = 1; i < 4; ++i) {
    outputs.push_back(scratch.File("q" + std::to_string(i) + ".wav"));
    AddTask(Media("audio.mp3"), outputs.back(), "acodec=pcm_s16le");
  }
  converter.SetProgressInterval(100);
  converter.StartConvert(1);
  ASSERT_TRUE(WaitFor("progress", 0));
  converter.RemoveTask(2);  // q2, still waiting
  ASSERT_EQ(converter.TaskCount(), 3);
  converter.RemoveTask(0);  // the running one; returns once its worker is done
  ASSERT_EQ(converter.TaskCount(), 2);
  ASSERT_TRUE(WaitForEnd(std::chrono::seconds(60)));
  converter.ClearTasks();
  const auto ends = Terminations();
  std::vector<int> indexes;
  for (const Event& e : ends) {
    indexes.push_back(e.index);
    if (e.index >= 0) {
      EXPECT_TRUE(e.finished) << e.index << " " << e.message;
    }
  }
  // Only the two tasks left in the list report, then the end of the run.
  EXPECT_EQ(indexes, (std::vector<int>{0, 1, -1}));
  const long long samples = CountSamples(Media("audio.mp3"));
  for (const std::string& output : {outputs[0], outputs[2]}) {
    ASSERT_TRUE(std::filesystem::exists(output)) << output;
    EXPECT_NEAR(CountSamples(output), samples, samples / 50) << output;
  }
  EXPECT_FALSE(std::filesystem::exists(outputs[1]));
}

// An MPEG-TS file whose second program part brings a sound stream the first
// part lacks, so that a reader of the file meets a new stream mid-file.
std::string MakeLateAudioTs(const ScratchDir& scratch) {
  const std::string first = scratch.File("part1.ts");
  const std::string second = scratch.File("part2.ts");
  const std::string joined = scratch.File("late_audio.ts");
  int status = 0;
  RunCommand(
      "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=3 "
      "-c:v mpeg2video -q:v 4 " +
          Quote(first) + " 2>&1",
      &status);
  EXPECT_EQ(status, 0);
  RunCommand(
      "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=3 "
      "-f lavfi -i sine=frequency=440:duration=3 -c:v mpeg2video -q:v 4 -c:a mp2 "
      "-output_ts_offset 3 " +
          Quote(second) + " 2>&1",
      &status);
  EXPECT_EQ(status, 0);
  RunCommand("cat " + Quote(first) + " " + Quote(second) + " > " + Quote(joined), &status);
  EXPECT_EQ(status, 0);
  return joined;
}

// The file information of a running task is read over and over while the
// task's worker reads the same file.
TEST_F(ConverterTest, ReadingARunningTasksProbe) {
  const std::string input = MakeLateAudioTs(scratch);
  const std::string output = scratch.File("late.mp4");
  const int index = AddTask(input, output, "vcodec=mpeg4\nan=1");
  ASSERT_EQ(index, 0);
  converter.StartConvert(1);
  int reads = 0;
  while (Count("terminate", -1) == 0 || reads < 20) {
    TAVProbe* probe = converter.TaskProbe(index);
    ASSERT_NE(probe, nullptr);
    TAVFormatInfo format;
    probe->GetFormatInfo(format);
    TAVVideoStreamInfo video;
    probe->GetVideoStreamInfo(-1, video);
    const std::string text = probe->InfoText();
    EXPECT_EQ(probe->FormatName(), "mpegts");
    EXPECT_EQ(video.Width, 320);
    EXPECT_EQ(video.Height, 240);
    EXPECT_GE(probe->VideoCount, 1);
    EXPECT_NE(text.find("Stream #0"), std::string::npos);
    ++reads;
  }
  ASSERT_TRUE(WaitForEnd());
  converter.ClearTasks();
  const auto ends = Terminations();
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_TRUE(ends[0].finished) << ends[0].message;
  // The joint between the two parts may cost the picture at the seam.
  EXPECT_NEAR(CountFrames(output, "v:0"), CountFrames(input, "v:0"), 1);
}

// Lowers the soft descriptor limit for one test and puts it back after.
class DescriptorLimit {
 public:
  explicit DescriptorLimit(rlim_t soft) {
    getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = std::min<rlim_t>(soft, saved_.rlim_max);
    setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~DescriptorLimit() { setrlimit(RLIMIT_NOFILE, &saved_); }
  DescriptorLimit(const DescriptorLimit&) = delete;
  DescriptorLimit& operator=(const DescriptorLimit&) = delete;

 private:
  rlimit saved_{};
};

// More queued tasks than the process may have open files.
TEST_F(ConverterTest, LongBatchBeyondTheDescriptorLimit) {
  constexpr int kTasks = 1100;
  const std::string clip = scratch.File("tiny.mp4");
  int status = 0;
  RunCommand(
      "ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=10:duration=0.2 "
      "-c:v mpeg4 " +
          Quote(clip) + " 2>&1",
      &status);
  ASSERT_EQ(status, 0);
  const int sourceFrames = CountFrames(clip, "v:0");
  ASSERT_GT(sourceFrames, 0);

  DescriptorLimit limit(1024);
  rlimit now{};
  getrlimit(RLIMIT_NOFILE, &now);
  ASSERT_LE(now.rlim_cur, 1024u);
  converter.SetLogLevel(llError);
  std::vector<std::string> outputs;
  for (int i = 0; i < kTasks; ++i) {
    outputs.push_back(scratch.File("b" + std::to_string(i) + ".avi"));
    const int index = converter.AddInput(clip);
    ASSERT_EQ(index, i) << converter.LastError();
    TOutputOptions record;
    record.ExtOptions = "vcodec=mpeg4";
    ASSERT_TRUE(converter.SetOutput(index, outputs.back(), &record))
        << i << ": " << converter.LastError();
  }
  // A file that cannot be opened is still refused when it is added.
  EXPECT_EQ(converter.AddInput(scratch.File("missing.mp4")), -1);
  EXPECT_EQ(converter.LastError(), scratch.File("missing.mp4") + ": no such file or directory");

  converter.StartConvert(2);
  ASSERT_TRUE(WaitForEnd(std::chrono::seconds(600)));
  converter.ClearTasks();
  const auto ends = Terminations();
  ASSERT_EQ(ends.size(), static_cast<size_t>(kTasks) + 1);
  int finished = 0;
  for (const Event& e : ends)
    finished += e.index >= 0 && e.finished && !e.exception;
  EXPECT_EQ(finished, kTasks);
  EXPECT_EQ(ends.back().index, -1);
  for (const std::string& output : outputs)
    ASSERT_TRUE(std::filesystem::exists(output)) << output;
  for (int i = 0; i < kTasks; i += 137) {
    EXPECT_EQ(CountFrames(outputs[i], "v:0"), sourceFrames) << outputs[i];
  }
}

}  // namespace
}  // namespace moskvid::test
