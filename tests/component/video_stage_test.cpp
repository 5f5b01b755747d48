// Runs with more than one codec thread, where a decoded video stream's
// pictures are worked on by a stage thread of their own.
#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "converter_test_support.h"

namespace moskvid::test {
namespace {

int ThreadsOfThisProcess() {
  int count = 0;
  if (DIR* folder = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(folder))
      count += entry->d_name[0] != '.';
    closedir(folder);
  }
  return count;
}

class VideoStageTest : public ConverterTest {
 protected:
  void SetUp() override {
    ConverterTest::SetUp();
    converter.CodecThreads = 2;
  }
};

// The most threads seen while one conversion ran with `codecThreads`.
int ThreadsDuringRun(int codecThreads, const std::string& output) {
  TCCAVConverter local;
  EXPECT_TRUE(local.LoadLibraries("", true));
  local.CodecThreads = codecThreads;
  std::atomic<int> most{0};
  std::atomic<bool> ended{false};
  local.OnProgress = [&](int, int, int, int, float, float, int64_t, int) {
    const int now = ThreadsOfThisProcess();
    int seen = most.load();
    while (now > seen && !most.compare_exchange_weak(seen, now)) {
    }
  };
  local.OnTerminate = [&](int index, bool, bool, const std::string&) {
    if (index < 0) ended = true;
  };
  local.SetProgressInterval(50);
  const int index = local.AddInput(Media("h264_aac_1080p.mp4"));
  EXPECT_GE(index, 0) << local.LastError();
  TOutputOptions record;
  record.ExtOptions = "vcodec=mpeg4\nacodec=aac";
  EXPECT_TRUE(local.SetOutput(index, output, &record)) << local.LastError();
  local.StartConvert(1);
  for (int i = 0; i < 12000 && !ended; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(ended);
  return most;
}

TEST_F(VideoStageTest, CodecThreadsReachTheRun) {
  // Three decoder threads, the encoder's and the stage thread come on top of
  // the worker: the setting must survive the task's opening of its files.
  const int one = ThreadsDuringRun(1, scratch.File("one.mp4"));
  const int three = ThreadsDuringRun(3, scratch.File("three.mp4"));
  EXPECT_GE(three, one + 3) << "one codec thread: " << one << ", three: " << three;
  EXPECT_EQ(CountFrames(scratch.File("three.mp4"), "v:0"),
            CountFrames(scratch.File("one.mp4"), "v:0"));
}

TEST_F(VideoStageTest, PauseHoldsTheStageAndStopEndsIt) {
  const std::string out = scratch.File("paused.mp4");
  AddTask(Media("h264_aac_1080p.mp4"), out, "vcodec=mpeg4\nb=6000000");
  converter.SetProgressInterval(100);
  converter.StartConvert(1);
  ASSERT_TRUE(WaitFor("progress", 0));
  converter.PauseConvert();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int held = Count("progress", 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(Count("progress", 0), held);
  converter.ResumeConvert();
  converter.StopConvert();
  ASSERT_TRUE(WaitForEnd());
  const auto ends = Terminations();
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_FALSE(ends[0].finished);
  EXPECT_FALSE(ends[0].exception) << ends[0].message;
  // What was written before the stop plays.
  const int frames = CountFrames(out, "v:0");
  EXPECT_GT(frames, 0);
  EXPECT_LT(frames, CountFrames(Media("h264_aac_1080p.mp4"), "v:0"));
}

// Two tasks with hooks run side by side, their pictures on stage threads:
// removing the first renumbers the second while its hooks run, a pause holds
// the stage, and after a stop the pictures still queued are not worked on.
// Run under ThreadSanitizer too.
TEST_F(VideoStageTest, RemovalPauseAndStopWhileHooksRun) {
  const std::string input = scratch.File("long.mp4");
  RunCommand(
      "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=20 -c:v libx264 "
      "-preset ultrafast " +
      Quote(input));
  std::atomic<int> hooks{0}, renumbered{0}, afterStop{0};
  std::atomic<bool> removed{false}, stopped{false};
  converter.OnBeforeHook = [&](int index, int64_t, THookAction& action) {
    hooks += 1;
    if (removed && index == 0) renumbered += 1;
    if (stopped) afterStop += 1;
    action = haIgnore;  // the picture hook is never asked
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  converter.OnCustomHook = [](int, TBitmap24&, int, int64_t, bool&, bool&) {};
  for (const char* name : {"first.mp4", "second.mp4"}) {
    const int index = converter.AddInput(input);
    ASSERT_GE(index, 0) << converter.LastError();
    TOutputOptions record;
    record.ExtOptions = "vcodec=mpeg4";
    record.CustomHook = true;
    record.BeforeHook = true;
    ASSERT_TRUE(converter.SetOutput(index, scratch.File(name), &record)) << converter.LastError();
  }
  converter.SetProgressInterval(100);
  converter.StartConvert(2);
  ASSERT_TRUE(WaitFor("progress", 1));
  // The first task has ended when this returns: only the second one hooks.
  converter.RemoveTask(0);
  removed = true;
  for (int i = 0; i < 3000 && renumbered == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_GT(renumbered, 0) << "the second task's hooks never said index 0";

  converter.PauseConvert();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const int held = hooks;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(hooks, held);
  converter.ResumeConvert();
  converter.StopConvert();
  stopped = true;
  ASSERT_TRUE(WaitForEnd());
  // At most the picture that was being worked on as the stop came.
  EXPECT_LE(afterStop, 1);
}

TEST_F(VideoStageTest, HooksKeepTheirOrderOffTheWorker) {
  std::vector<int> painted;
  std::vector<uint32_t> threads;
  int asked = 0;
  converter.OnBeforeHook = [&](int, int64_t, THookAction& action) {
    asked += 1;
    threads.push_back(CurrentThreadId());
    action = asked % 4 == 0 ? haContinue : haIgnore;
  };
  converter.OnCustomHook = [&](int, TBitmap24& bitmap, int frame, int64_t, bool& update, bool&) {
    EXPECT_EQ(bitmap.Width(), 320);
    painted.push_back(frame);
    update = false;
  };
  const int index = converter.AddInput(Media("h264_aac.mp4"));
  ASSERT_EQ(index, 0) << converter.LastError();
  TOutputOptions record;
  record.ExtOptions = "vcodec=mpeg4\nacodec=aac";
  record.CustomHook = true;
  record.BeforeHook = true;
  const std::string out = scratch.File("hooked.mp4");
  ASSERT_TRUE(converter.SetOutput(index, out, &record)) << converter.LastError();
  converter.StartConvert(1);
  ASSERT_TRUE(WaitForEnd());
  converter.ClearTasks();
  const int frames = CountFrames(Media("h264_aac.mp4"), "v:0");
  EXPECT_EQ(asked, frames);
  std::vector<int> expected;
  for (int frame = 4; frame <= frames; frame += 4)
    expected.push_back(frame);
  EXPECT_EQ(painted, expected);
  // Every picture on one thread, and not the worker that reports progress.
  ASSERT_FALSE(threads.empty());
  EXPECT_TRUE(std::all_of(threads.begin(), threads.end(),
                          [&](uint32_t id) { return id == threads.front(); }));
  uint32_t worker = 0;
  {
    std::lock_guard<std::mutex> lock(mutex);
    for (const Event& e : events) {
      if (e.kind == "progress") worker = e.thread;
    }
  }
  ASSERT_NE(worker, 0u);
  EXPECT_NE(threads.front(), worker);
  EXPECT_EQ(CountFrames(out, "v:0"), frames);
  EXPECT_GT(CountSamples(out), 0);
}

TEST_F(VideoStageTest, DestroyingTheComponentMidRun) {
  for (int round = 0; round < 3; ++round) {
    auto local = std::make_unique<TCCAVConverter>();
    ASSERT_TRUE(local->LoadLibraries("", true));
    local->CodecThreads = 2;
    std::atomic<int> reports{0};
    local->OnProgress = [&](int, int, int, int, float, float, int64_t, int) { reports += 1; };
    local->SetProgressInterval(20);
    const int index = local->AddInput(Media("h264_aac_1080p.mp4"));
    ASSERT_GE(index, 0);
    TOutputOptions record;
    record.ExtOptions = "vcodec=mpeg4";
    ASSERT_TRUE(local->SetOutput(index, scratch.File("gone.mp4"), &record));
    local->StartConvert(1);
    for (int i = 0; i < 6000 && reports == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GT(reports, 0);
    local.reset();  // stops the worker and its stage, then frees them
  }
}

}  // namespace
}  // namespace moskvid::test
