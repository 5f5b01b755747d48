// The component's run control: event sequences in thread and single-thread
// mode, stop, pause, removal and failures.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>

#include "component/converter_test_support.h"

namespace moskvid::test {
namespace {

const char* kQuick = "vcodec=mpeg4\nacodec=aac";

TEST_F(ConverterTest, PropertiesAndTheirRules) {
  EXPECT_EQ(TCCAVConverter::Version(), "2.2a");
  EXPECT_EQ(converter.LogLevel(), llInfo);
  EXPECT_EQ(converter.ProgressInterval(), 500);
  EXPECT_EQ(converter.ThreadPriority, tpNormal);
  converter.SetProgressInterval(50);
  EXPECT_EQ(converter.ProgressInterval(), 100);
  converter.SetProgressInterval(101);
  EXPECT_EQ(converter.ProgressInterval(), 101);
}

TEST_F(ConverterTest, EmptyListRaisesNoEvent) {
  converter.StartConvert(1);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_TRUE(events.empty());
}

TEST_F(ConverterTest, OneTaskOnAWorkerThread) {
  const std::string out = scratch.File("one.mp4");
  AddTask(Media("h264_aac.mp4"), out, kQuick);
  converter.SetProgressInterval(100);
  converter.StartConvert(1);
  ASSERT_TRUE(WaitForEnd());
  const auto ends = Terminations();
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_EQ(ends[0].index, 0);
  EXPECT_TRUE(ends[0].finished);
  EXPECT_FALSE(ends[0].exception);
  EXPECT_EQ(ends[0].message, "");
  EXPECT_NE(ends[0].thread, converter.MainThreadID());
  EXPECT_EQ(ends[1].index, -1);
  EXPECT_EQ(CountFrames(out, "v:0"), 75);
}

TEST_F(ConverterTest, ThreeTasksOneAtATime) {
  for (int i = 0; i < 3; ++i) {
    AddTask(Media("h264_aac.mp4"), scratch.File("t" + std::to_string(i) + ".mp4"), kQuick);
  }
  converter.StartConvert(1);
  ASSERT_TRUE(WaitForEnd());
  std::lock_guard<std::mutex> lock(mutex);
  // Each task's events come after the previous task's termination.
  int current = 0;
  std::vector<int> order;
  for (const Event& e : events) {
    if (e.kind == "terminate") {
      order.push_back(e.index);
      if (e.index >= 0) {
        EXPECT_EQ(e.index, current++);
      }
    } else if (e.index >= 0) {
      EXPECT_EQ(e.index, current) << e.kind << " " << e.message;
    }
  }
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, -1}));
}

TEST_F(ConverterTest, SingleThreadModeRunsOnTheCallingThreadFromTheTimer) {
  std::vector<std::pair<int, std::function<void()>>> timers;
  converter.SetTimerService([&](int milliseconds, std::function<void()> callback) {
    timers.emplace_back(milliseconds, std::move(callback));
  });
  AddTask(Media("h264_aac.mp4"), scratch.File("a.mp4"), kQuick);
  AddTask(Media("audio.mp3"), scratch.File("b.wav"), "acodec=pcm_s16le");
  converter.StartConvert(0);
  EXPECT_EQ(Count("terminate", 0), 0);  // nothing runs before the timer fires
  for (size_t i = 0; i < timers.size(); ++i) {
    EXPECT_EQ(timers[i].first, 100);
    timers[i].second();
  }
  EXPECT_EQ(timers.size(), 2u);
  const auto ends = Terminations();
  ASSERT_EQ(ends.size(), 3u);
  EXPECT_EQ(ends[0].index, 0);
  EXPECT_EQ(ends[1].index, 1);
  EXPECT_EQ(ends[2].index, -1);
  for (const Event& e : ends)
    EXPECT_EQ(e.thread, converter.MainThreadID());
}

TEST_F(ConverterTest, StopWithOneRunningAndTwoWaiting) {
  for (int i = 0; i < 3; ++i) {
    AddTask(Media("h264_aac_1080p.mp4"), scratch.File("s" + std::to_string(i) + ".mp4"),
            "vcodec=mpeg4\nb=6000000");
  }
  converter.SetProgressInterval(100);
  converter.StartConvert(1);
  ASSERT_TRUE(WaitFor("progress", 0));
  converter.StopConvert();
  ASSERT_TRUE(WaitForEnd());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto ends = Terminations();
  ASSERT_EQ(ends.size(), 4u);
  std::vector<int> indexes;
  for (const Event& e : ends) {
    indexes.push_back(e.index);
    if (e.index >= 0) {
      EXPECT_FALSE(e.finished) << e.index;
      EXPECT_FALSE(e.exception) << e.index;
      EXPECT_EQ(e.message, "");
    }
  }
  EXPECT_EQ(indexes.back(), -1);
  std::sort(indexes.begin(), indexes.end());
  EXPECT_EQ(indexes, (std::vector<int>{-1, 0, 1, 2}));
  // The stopped conversion is still a playable file.
  EXPECT_GT(CountFrames(scratch.File("s0.mp4"), "v:0"), 0);
}

TEST_F(ConverterTest, TaskWithoutOutputFailsAndTheNextOneRuns) {
  const int bad = converter.AddInput(Media("h264_aac.mp4"));
  ASSERT_EQ(bad, 0);
  EXPECT_FALSE(converter.SetOutput(bad, scratch.File("no/folder/x.mp4")));
  EXPECT_EQ(converter.LastError(), "Could not open '" + scratch.File("no/folder/x.mp4") + "'");
  AddTask(Media("audio.mp3"), scratch.File("ok.wav"), "acodec=pcm_s16le");
  converter.StartConvert(1);
  ASSERT_TRUE(WaitForEnd());
  const auto ends = Terminations();
  ASSERT_EQ(ends.size(), 3u);
  EXPECT_EQ(ends[0].index, 0);
  EXPECT_FALSE(ends[0].finished);
  EXPECT_TRUE(ends[0].exception);
  EXPECT_EQ(ends[0].message, "Must supply at least one output file");
  EXPECT_EQ(ends[1].index, 1);
  EXPECT_TRUE(ends[1].finished);
  std::lock_guard<std::mutex> lock(mutex);
  bool logged = false;
  for (const Event& e : events) {
    logged = logged || (e.kind == "log" && e.index == 0 && e.level == llQuiet &&
                        e.message == "Must supply at least one output file");
  }
  EXPECT_TRUE(logged);
}

TEST_F(ConverterTest, PauseHoldsResumeContinuesStopEnds) {
  AddTask(Media("h264_aac_1080p.mp4"), scratch.File("p.mp4"), "vcodec=mpeg4\nb=6000000");
  converter.SetProgressInterval(100);
  converter.StartConvert(1);
  ASSERT_TRUE(WaitFor("progress", 0));
  converter.PauseConvert();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int held = Count("progress", 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(Count("progress", 0), held);  // nothing moves while paused
  EXPECT_EQ(Count("terminate", 0), 0);
  converter.ResumeConvert();
  converter.PauseConvert();
  converter.StopConvert();  // a stop releases a held worker
  ASSERT_TRUE(WaitForEnd());
  const auto ends = Terminations();
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_FALSE(ends[0].finished);
}

// A pause that comes as one task ends holds the next one: no task starts
// until the run is resumed (it then converts in full) or stopped (it then
// ends as stopped, and so does the run).
TEST_F(ConverterTest, PauseAsATaskEndsStartsNoTaskUntilResumed) {
  for (const bool resume : {true, false}) {
    SCOPED_TRACE(resume ? "resumed" : "stopped");
    {
      std::lock_guard<std::mutex> lock(mutex);
      events.clear();
    }
    converter.ClearTasks();
    const std::string second = scratch.File(resume ? "r1.wav" : "s1.wav");
    AddTask(Media("audio.mp3"), scratch.File(resume ? "r0.wav" : "s0.wav"), "acodec=pcm_s16le");
    AddTask(Media("audio.mp3"), second, "acodec=pcm_s16le");
    std::atomic<int> claimed{-1};
    converter.OnTaskClaimed = [&](int index) { claimed = index; };
    const auto record = converter.OnTerminate;
    converter.OnTerminate = [&, record](int index, bool finished, bool exception,
                                        const std::string& message) {
      if (index == 0) converter.PauseConvert();  // Pause pressed as the first task ends
      record(index, finished, exception, message);
    };
    converter.StartConvert(1);
    ASSERT_TRUE(WaitFor("terminate", 0));
    // Unpaused, the first task's worker claims the next one at once.
    EXPECT_FALSE(WaitFor("terminate", 1, std::chrono::seconds(2)));
    EXPECT_EQ(claimed.load(), 0);
    resume ? converter.ResumeConvert() : converter.StopConvert();
    ASSERT_TRUE(WaitForEnd());
    converter.OnTerminate = record;
    converter.OnTaskClaimed = nullptr;
    const auto ends = Terminations();
    ASSERT_EQ(ends.size(), 3u);
    EXPECT_EQ(ends[1].index, 1);
    EXPECT_EQ(ends[1].finished, resume);
    EXPECT_FALSE(ends[1].exception) << ends[1].message;
    if (resume) {
      EXPECT_EQ(claimed.load(), 1);
      EXPECT_NEAR(ToDouble(ProbeFormat(second).at("duration")), 3.0, 0.1);
    } else {
      EXPECT_LE(std::filesystem::exists(second) ? CountFrames(second, "a:0") : 0, 0);
    }
  }
}

TEST_F(ConverterTest, RemovingATaskRenumbersTheRest) {
  for (int i = 0; i < 3; ++i) {
    AddTask(Media("audio.mp3"), scratch.File("r" + std::to_string(i) + ".wav"), "acodec=pcm_s16le");
  }
  converter.RemoveTask(0);
  EXPECT_EQ(converter.TaskCount(), 2);
  TOutputOptions options;
  ASSERT_TRUE(converter.GetOutputOptions(0, options));
  EXPECT_EQ(options.FileName, scratch.File("r1.wav"));
  converter.StartConvert(2);
  ASSERT_TRUE(WaitForEnd());
  std::vector<int> indexes;
  for (const Event& e : Terminations())
    indexes.push_back(e.index);
  std::sort(indexes.begin(), indexes.end());
  EXPECT_EQ(indexes, (std::vector<int>{-1, 0, 1}));
  converter.RemoveTask(7);
  EXPECT_EQ(converter.LastError(), "List index out of bounds (7)");
}

TEST_F(ConverterTest, RecordsGetTheRequestedNames) {
  TInputOptions input;
  const int index = converter.AddInput(Media("audio.mp3"), &input);
  ASSERT_EQ(index, 0);
  TOutputOptions output;
  output.ExtOptions = "acodec=pcm_s16le";
  ASSERT_TRUE(converter.SetOutput(index, scratch.File("named.wav"), &output));
  TOutputOptions back;
  ASSERT_TRUE(converter.GetOutputOptions(index, back));
  EXPECT_EQ(back.FileName, scratch.File("named.wav"));
  EXPECT_FALSE(converter.GetOutputOptions(3, back));
  ASSERT_NE(converter.TaskProbe(0), nullptr);
  EXPECT_EQ(converter.TaskProbe(0)->AudioCount, 1);
  EXPECT_EQ(converter.TaskProbe(1), nullptr);
  EXPECT_EQ(converter.AddInput(Media("random.mp4")), -1);
  EXPECT_EQ(converter.LastError(), Media("random.mp4") + ": Unknown format");
}

TEST_F(ConverterTest, TwoAtOnceGiveTheSameFilesAsOneAfterAnother) {
  const std::string options = "vcodec=mpeg4\nacodec=aac\nflags=+bitexact";
  for (int i = 0; i < 2; ++i)
    AddTask(Media("sync_25.mp4"), scratch.File("par" + std::to_string(i) + ".mp4"), options);
  converter.StartConvert(2);
  ASSERT_TRUE(WaitForEnd());
  converter.ClearTasks();
  {
    std::lock_guard<std::mutex> lock(mutex);
    events.clear();
  }
  AddTask(Media("sync_25.mp4"), scratch.File("seq.mp4"), options);
  converter.StartConvert(1);
  ASSERT_TRUE(WaitForEnd());
  const auto hash = [](const std::string& file) {
    return RunCommand("ffmpeg -v error -nostdin -i " + Quote(file) +
                      " -f framemd5 - | grep -v '^#'");
  };
  const std::string sequential = hash(scratch.File("seq.mp4"));
  ASSERT_FALSE(sequential.empty());
  EXPECT_EQ(hash(scratch.File("par0.mp4")), sequential);
  EXPECT_EQ(hash(scratch.File("par1.mp4")), sequential);
}

TEST_F(ConverterTest, DestroyingTheComponentDuringARunStopsItsWorkers) {
  auto local = std::make_unique<TCCAVConverter>();
  ASSERT_TRUE(local->LoadLibraries("", true));
  std::atomic<int> terminations{0};
  local->OnTerminate = [&](int, bool, bool, const std::string&) { ++terminations; };
  for (int i = 0; i < 2; ++i) {
    const int index = local->AddInput(Media("h264_aac_1080p.mp4"));
    TOutputOptions record;
    record.ExtOptions = "vcodec=mpeg4";
    ASSERT_TRUE(local->SetOutput(index, scratch.File("d" + std::to_string(i) + ".mp4"), &record));
  }
  local->StartConvert(2);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  local.reset();  // must stop and join both workers
  EXPECT_LE(terminations.load(), 3);
}

// A stop starts threads of its own for the tasks that never started; freeing
// the tasks right after the stop must wait for them. Even rounds run on a
// worker thread, odd rounds in single-thread mode where the timer that would
// start the first task has not fired yet. Many rounds, since the faults show
// only when the freeing wins the race.
class StopThenReleaseTest : public ConverterTest {
 protected:
  static constexpr int kRounds = 30;

  void SetUp() override {
    ConverterTest::SetUp();
    converter.SetTimerService(
        [this](int, std::function<void()> callback) { timers.push_back(std::move(callback)); });
  }

  static void AddThree(TCustomFFmpegVCL& component, const ScratchDir& scratch, int round) {
    for (int i = 0; i < 3; ++i) {
      const int index = component.AddInput(Media("h264_aac.mp4"));
      ASSERT_GE(index, 0) << component.LastError();
      TOutputOptions record;
      record.ExtOptions = kQuick;
      const std::string name = "r" + std::to_string(round) + "_" + std::to_string(i) + ".mp4";
      ASSERT_TRUE(component.SetOutput(index, scratch.File(name), &record)) << component.LastError();
    }
  }

  static void Start(TCustomFFmpegVCL& component, int round) {
    component.StartConvert(round % 2 == 0 ? 1 : 0);
  }

  // Fires the timers the component asked for; a start for a task that is
  // gone must do nothing.
  void FireTimers() {
    std::vector<std::function<void()>> due;
    due.swap(timers);
    for (auto& callback : due)
      callback();
  }

  void ForgetEvents() {
    std::lock_guard<std::mutex> lock(mutex);
    events.clear();
  }

  int TerminateCount() { return static_cast<int>(Terminations().size()); }

  std::vector<std::function<void()>> timers;
};

TEST_F(StopThenReleaseTest, StoppedTasksReportOnceThenTheRunEnds) {
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ForgetEvents();
    AddThree(converter, scratch, round);
    Start(converter, round);
    converter.StopConvert();
    ASSERT_TRUE(WaitForEnd());
    // Clearing waits for every thread of the run, so all events are in.
    converter.ClearTasks();
    FireTimers();
    const auto ends = Terminations();
    ASSERT_EQ(ends.size(), 4u);
    EXPECT_EQ(ends.back().index, -1);
    std::vector<int> indexes;
    for (const Event& e : ends) {
      indexes.push_back(e.index);
      if (e.index >= 0) {
        EXPECT_FALSE(e.finished) << e.index;
      }
    }
    std::sort(indexes.begin(), indexes.end());
    EXPECT_EQ(indexes, (std::vector<int>{-1, 0, 1, 2}));
  }
}

TEST_F(StopThenReleaseTest, ClearRightAfterStop) {
  int previous = -1;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    AddThree(converter, scratch, round);
    // Nothing of the last round may be reported once its tasks were cleared.
    if (previous >= 0) {
      EXPECT_EQ(TerminateCount(), previous);
    }
    ForgetEvents();
    Start(converter, round);
    converter.StopConvert();
    converter.ClearTasks();
    EXPECT_EQ(converter.TaskCount(), 0);
    FireTimers();
    previous = TerminateCount();
    for (int index = 0; index < 3; ++index)
      EXPECT_LE(Count("terminate", index), 1) << index;
  }
}

TEST_F(StopThenReleaseTest, RemoveRightAfterStop) {
  int previous = -1;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    AddThree(converter, scratch, round);
    if (previous >= 0) {
      EXPECT_EQ(TerminateCount(), previous);
    }
    ForgetEvents();
    Start(converter, round);
    converter.StopConvert();
    // A waiting one first, then the one that may run, then the other.
    converter.RemoveTask(2);
    converter.RemoveTask(0);
    converter.RemoveTask(0);
    EXPECT_EQ(converter.TaskCount(), 0);
    FireTimers();
    previous = TerminateCount();
  }
}

TEST_F(StopThenReleaseTest, DestroyRightAfterStop) {
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    // Freed right after the component: a handler that ran late would touch it.
    auto terminations = std::make_unique<std::atomic<int>>(0);
    auto local = std::make_unique<TCCAVConverter>();
    ASSERT_TRUE(local->LoadLibraries("", true));
    local->CodecThreads = 1;
    local->SetTimerService([](int, std::function<void()>) {});  // never fires
    local->OnTerminate = [counter = terminations.get()](int, bool, bool, const std::string&) {
      ++*counter;
    };
    AddThree(*local, scratch, round);
    Start(*local, round);
    local->StopConvert();
    local.reset();
    EXPECT_LE(terminations->load(), 4);
    terminations.reset();
  }
}

// Both hooks asked for in the output record: the before-hook picks the
// pictures the picture hook gets, and the output keeps every picture.
TEST_F(ConverterTest, BeforeHookPicksThePicturesOfThePictureHook) {
  std::vector<int> asked;  // frames, counted by the before-hook
  std::vector<int> painted;
  converter.OnBeforeHook = [&](int index, int64_t, THookAction& action) {
    EXPECT_EQ(index, 0);
    asked.push_back(static_cast<int>(asked.size()) + 1);
    action = asked.size() % 5 == 0 ? haContinue : haIgnore;
  };
  converter.OnCustomHook = [&](int index, TBitmap24&, int frame, int64_t, bool& update, bool&) {
    EXPECT_EQ(index, 0);
    painted.push_back(frame);
    update = false;
  };
  const int index = converter.AddInput(Media("h264_aac.mp4"));
  ASSERT_EQ(index, 0) << converter.LastError();
  TOutputOptions record;
  record.ExtOptions = "vcodec=mpeg4\nan=1";
  record.CustomHook = true;
  record.BeforeHook = true;
  const std::string out = scratch.File("picked.mp4");
  ASSERT_TRUE(converter.SetOutput(index, out, &record)) << converter.LastError();
  converter.StartConvert(1);
  ASSERT_TRUE(WaitForEnd());
  converter.ClearTasks();  // the worker is done with the vectors
  const int frames = CountFrames(Media("h264_aac.mp4"), "v:0");
  ASSERT_GE(frames, 50);
  EXPECT_EQ(static_cast<int>(asked.size()), frames);
  std::vector<int> expected;
  for (int frame = 5; frame <= frames; frame += 5)
    expected.push_back(frame);
  EXPECT_EQ(painted, expected);
  EXPECT_EQ(CountFrames(out, "v:0"), frames);
}

// What the handlers of one component touch; freed right after the component,
// so that a handler running late is a use after free.
struct HandlerState {
  std::mutex mutex;
  std::condition_variable changed;
  int beforeHooks = 0;  // guarded by mutex, like the rest
  int customHooks[2] = {0, 0};
  int logs = 0;
  int progress = 0;
  int terminations = 0;
};

// A component destroyed while its tasks run, with all five handlers set and
// both hooks in use: once the destructor returns, no handler runs.
TEST_F(ConverterTest, DestroyingMidRunWithEveryHandlerSet) {
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    auto state = std::make_unique<HandlerState>();
    auto local = std::make_unique<TCCAVConverter>();
    ASSERT_TRUE(local->LoadLibraries("", true));
    local->CodecThreads = 1;
    local->SetProgressInterval(100);
    HandlerState* shared = state.get();
    TCCAVConverter* component = local.get();
    const auto note = [shared](int& counter) {
      std::lock_guard<std::mutex> lock(shared->mutex);
      ++counter;
      shared->changed.notify_all();
    };
    local->OnBeforeHook = [shared, note](int, int64_t, THookAction& action) {
      note(shared->beforeHooks);
      action = haContinue;
    };
    local->OnCustomHook = [shared, note, component](int index, TBitmap24& bitmap, int, int64_t,
                                                    bool& update, bool&) {
      bitmap.ScanLine(0)[0] = 255;
      update = true;
      // A hook may call back for the run control while the component goes.
      component->ResumeConvert();
      note(shared->customHooks[index & 1]);
    };
    local->OnLog = [shared, note](int, TLogLevel, const std::string&) { note(shared->logs); };
    local->OnProgress = [shared, note](int, int, int, int, float, float, int64_t, int) {
      note(shared->progress);
    };
    local->OnTerminate = [shared, note](int, bool, bool, const std::string&) {
      note(shared->terminations);
    };
    for (int i = 0; i < 2; ++i) {
      const int index = local->AddInput(Media("h264_aac.mp4"));
      ASSERT_GE(index, 0) << local->LastError();
      TOutputOptions record;
      record.ExtOptions = "vcodec=mpeg4\nan=1";
      record.CustomHook = true;
      record.BeforeHook = true;
      const std::string name = "h" + std::to_string(round) + "_" + std::to_string(i) + ".mp4";
      ASSERT_TRUE(local->SetOutput(index, scratch.File(name), &record)) << local->LastError();
    }
    local->StartConvert(2);
    {
      std::unique_lock<std::mutex> lock(state->mutex);
      ASSERT_TRUE(state->changed.wait_for(lock, std::chrono::seconds(120), [&] {
        return state->customHooks[0] > 0 && state->customHooks[1] > 0;
      }));
    }
    local.reset();
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      EXPECT_LE(state->terminations, 3);
    }
    state.reset();
  }
}

}  // namespace
}  // namespace moskvid::test
