// Several tasks converting at the same time: the run control acts on all of
// them, and each task's figures and log lines reach that task only.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "converter_test_support.h"

namespace moskvid::test {
namespace {

class SideBySideTest : public ConverterTest {
 protected:
  void SetUp() override {
    ConverterTest::SetUp();
    // Two codec threads each: every task has a picture stage of its own.
    converter.CodecThreads = 2;
    converter.SetProgressInterval(100);
    const auto record = converter.OnLog;
    converter.OnLog = [this, record](int index, TLogLevel level, const std::string& message) {
      if (ThreadName(CurrentThreadId()) == "moskvid-video") {
        std::lock_guard<std::mutex> lock(mutex);
        stageLines[CurrentThreadId()].insert(index);
      }
      record(index, level, message);
    };
  }

  // The thread of each task's progress events, checked to be one per task.
  std::map<int, uint32_t> ProgressThreads() {
    std::lock_guard<std::mutex> lock(mutex);
    std::map<int, std::set<uint32_t>> seen;
    for (const Event& e : events) {
      if (e.kind == "progress") seen[e.index].insert(e.thread);
    }
    std::map<int, uint32_t> threads;
    for (const auto& [index, set] : seen) {
      EXPECT_EQ(set.size(), 1u) << "task " << index;
      threads[index] = *set.begin();
    }
    return threads;
  }

  std::map<uint32_t, std::set<int>> stageLines;  // guarded by mutex
};

TEST_F(SideBySideTest, ThreeAtOncePauseRemoveResumeStop) {
  for (int k = 0; k < 3; ++k)
    AddTask(Media("h264_aac_1080p.mp4"), scratch.File("t" + std::to_string(k) + ".mp4"),
            "vcodec=mpeg4\nacodec=aac");
  converter.StartConvert(3);
  for (int k = 0; k < 3; ++k)
    ASSERT_TRUE(WaitFor("progress", k)) << k;
  EXPECT_EQ(Terminations().size(), 0u) << "all three convert at the same time";
  const auto threads = ProgressThreads();
  ASSERT_EQ(threads.size(), 3u);
  EXPECT_EQ((std::set<uint32_t>{threads.at(0), threads.at(1), threads.at(2)}).size(), 3u);

  converter.PauseConvert();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int held0 = Count("progress", 0), held2 = Count("progress", 2);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(Count("progress", 0), held0) << "every task is held";
  EXPECT_EQ(Count("progress", 2), held2);

  // Removing a held task stops it; the last one is renumbered and goes on
  // under its new index on its own thread.
  converter.RemoveTask(1);
  EXPECT_EQ(converter.TaskCount(), 2);
  const int before = Count("progress", 1);
  converter.ResumeConvert();
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(60),
                                 [&] { return CountLocked("progress", 1) > before + 1; }));
    for (auto it = events.rbegin(); it != events.rend(); ++it) {
      if (it->kind == "progress" && it->index == 1) {
        EXPECT_EQ(it->thread, threads.at(2)) << "the former third task";
        break;
      }
    }
  }
  converter.StopConvert();
  ASSERT_TRUE(WaitForEnd());
  const auto ends = Terminations();
  ASSERT_EQ(ends.size(), 3u);
  EXPECT_EQ(ends[2].index, -1);
  EXPECT_EQ(ends[0].index + ends[1].index, 1) << "tasks 0 and 1, each once";
  EXPECT_FALSE(ends[0].finished || ends[1].finished);
}

TEST_F(SideBySideTest, StageThreadLinesAndFiguresReachTheirOwnTask) {
  converter.SetLogLevel(llAll);
  // The filter logs one line for every picture, on the thread that filters.
  AddTask(Media("h264_aac.mp4"), scratch.File("a.mp4"), "vcodec=mpeg4\nvfilters=showinfo\nan=1");
  AddTask(Media("h264_aac.mp4"), scratch.File("b.avi"),
          "vcodec=mpeg4\nvfilters=showinfo,scale=160:120\nan=1");
  converter.StartConvert(2);
  ASSERT_TRUE(WaitForEnd());
  const auto ends = Terminations();
  ASSERT_EQ(ends.size(), 3u);
  for (int k = 0; k < 2; ++k)
    EXPECT_TRUE(ends[k].finished && !ends[k].exception) << ends[k].message;
  EXPECT_EQ(ProgressThreads().size(), 2u);
  std::lock_guard<std::mutex> lock(mutex);
  // Every line a stage thread logged names that stage's task, and the two
  // stages belong to different tasks.
  ASSERT_EQ(stageLines.size(), 2u);
  std::set<int> owners;
  for (const auto& [thread, indexes] : stageLines) {
    ASSERT_EQ(indexes.size(), 1u) << "lines of one stage thread, several tasks";
    owners.insert(*indexes.begin());
  }
  EXPECT_EQ(owners, (std::set<int>{0, 1}));
  EXPECT_EQ(CountFrames(scratch.File("a.mp4"), "v:0"), CountFrames(scratch.File("b.avi"), "v:0"));
}

TEST_F(SideBySideTest, DecoderThreadLinesReachTheirOwnTask) {
  // A damaged H.264 stream: its two frame threads report the broken
  // macroblocks from threads that are neither the worker nor the stage.
  const std::string input = scratch.File("damaged.264");
  RunCommand(
      "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=2 -c:v libx264 "
      "-preset ultrafast -f h264 " +
      Quote(input));
  {
    std::fstream file(input, std::ios::in | std::ios::out | std::ios::binary);
    for (std::streamoff at = 4000; at < 40000; at += 1500) {
      file.seekp(at);
      file.write("\x55\xaa\x13\x77\x99\x01\x02\x03", 8);
    }
    ASSERT_TRUE(file.good());
  }
  converter.SetLogLevel(llInfo);
  AddTask(input, scratch.File("a.mp4"), "vcodec=mpeg4");
  AddTask(input, scratch.File("b.mp4"), "vcodec=mpeg4");
  {
    // Opening the input decodes some of it on this thread: not part of the run.
    std::lock_guard<std::mutex> lock(mutex);
    events.clear();
  }
  converter.StartConvert(2);
  ASSERT_TRUE(WaitForEnd());
  const auto workers = ProgressThreads();
  std::lock_guard<std::mutex> lock(mutex);
  std::map<uint32_t, std::set<int>> decoderLines;
  for (const Event& e : events) {
    if (e.kind != "log") continue;
    EXPECT_GE(e.index, 0) << "a line of no task: " << e.message;
    const bool ownThread = stageLines.count(e.thread) ||
                           std::any_of(workers.begin(), workers.end(), [&](const auto& worker) {
                             return worker.second == e.thread;
                           });
    if (!ownThread) decoderLines[e.thread].insert(e.index);
  }
  // Each decoder thread's lines name one task, and both tasks have some.
  std::set<int> owners;
  for (const auto& [thread, indexes] : decoderLines) {
    EXPECT_EQ(indexes.size(), 1u) << "lines of one decoder thread, several tasks";
    owners.insert(indexes.begin(), indexes.end());
  }
  EXPECT_EQ(owners, (std::set<int>{0, 1}));
}

}  // namespace
}  // namespace moskvid::test

namespace moskvid::test {
namespace {

// Anonymous writable mappings the size of a thread's stack.
int StackSizedRegions() {
  std::ifstream maps("/proc/self/maps");
  int count = 0;
  for (std::string line; std::getline(maps, line);) {
    unsigned long from = 0, to = 0;
    char mode[5] = {};
    if (std::sscanf(line.c_str(), "%lx-%lx %4s", &from, &to, mode) == 3 && to - from == 8UL << 20 &&
        std::string(mode) == "rw-p" && line.find('/') == std::string::npos) {
      ++count;
    }
  }
  return count;
}

// A finished task stays in the list until it is cleared; its ended worker
// must not keep its thread's stack mapped meanwhile, or a long batch grows
// by a stack for every file.
TEST_F(ConverterTest, FinishedTasksKeepNoThreadStack) {
  constexpr int kTasks = 12;
  for (int k = 0; k < kTasks; ++k)
    AddTask(Media("audio_mono_22k.wav"), scratch.File(std::to_string(k) + ".wav"),
            "acodec=pcm_s16le\nt=0.2");
  // A first thread brings up what a runtime starts with it (the thread
  // sanitizer's own thread), so that only the tasks' stacks are counted.
  std::thread([] {}).join();
  const int before = StackSizedRegions();
  converter.StartConvert(2);
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(converter.TaskCount(), kTasks);
  // The workers are detached: the end of the run may come while the last
  // ones are still exiting, so give them time to be gone. Then four stacks
  // at most remain, the C library's cache (40 MiB) for the next threads.
  int after = StackSizedRegions();
  for (int look = 0; look < 100 && after > before + 4; ++look) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    after = StackSizedRegions();
  }
  EXPECT_LE(after, before + 4) << "stacks before the run: " << before;
  EXPECT_EQ(Count("terminate", kTasks - 1), 1);
}

}  // namespace
}  // namespace moskvid::test
