// A file is opened once between checking its task and running it, and a run
// held open takes tasks as they are added.
#include <atomic>
#include <filesystem>
#include <memory>

#include "converter_test_support.h"

namespace moskvid::test {
namespace {

// Descriptors of this process open on `file`.
int DescriptorsOn(const std::string& file) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    count += std::filesystem::read_symlink(entry.path(), error) == file;
  }
  return count;
}

// The probe's open, the task's check and its run share one open of the file,
// unless the probe has read in it; the output is whole either way.
TEST_F(ConverterTest, ATaskRunsFromTheOpenItWasCheckedWith) {
  const std::string source = scratch.File("source.mp4");
  std::filesystem::copy_file(Media("h264_aac.mp4"), source);
  const int frames = CountFrames(source, "v:0");
  const long long samples = CountSamples(source);
  ASSERT_GT(frames, 0);
  struct Case {
    const char* name;
    bool probe;
    bool probeReads;
    int opens;
  };
  const Case cases[] = {{"probed", true, false, 1},
                        {"probed and read in", true, true, 2},
                        {"added by name", false, false, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    converter.ClearTasks();
    {
      std::lock_guard<std::mutex> lock(mutex);
      events.clear();
    }
    OpenCounter opens(source);
    TAVProbe& probe = converter.Probe();
    if (c.probe) {
      ASSERT_TRUE(probe.Open(source));
      if (c.probeReads) {
        ASSERT_GT(probe.DecodeNextFrame().Width(), 0);
      }
    }
    TInputOptions input;
    const int index = c.probe ? converter.AddInput(probe, &input) : converter.AddInput(source);
    ASSERT_EQ(index, 0) << converter.LastError();
    EXPECT_FALSE(probe.Loaded());
    const std::string output = scratch.File(std::string(c.name) + ".mkv");
    TOutputOptions record;
    record.ExtOptions = "vcodec=mpeg4\nacodec=pcm_s16le";
    ASSERT_TRUE(converter.SetOutput(index, output, &record)) << converter.LastError();
    EXPECT_EQ(DescriptorsOn(source), 1);  // kept for the run
    converter.StartConvert(1);
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(Count("terminate", 0), 1);
    EXPECT_EQ(DescriptorsOn(source), 0);
    EXPECT_EQ(opens.Opens(), c.opens);
    EXPECT_EQ(CountFrames(output, "v:0"), frames);
    EXPECT_NEAR(static_cast<double>(CountSamples(output)), static_cast<double>(samples), 1024);
  }
}

// Only a few queued tasks keep their file open; the rest open it again when
// they run, and every output is whole.
TEST_F(ConverterTest, FewQueuedTasksKeepTheirFileOpen) {
  const std::string source = scratch.File("source.wav");
  std::filesystem::copy_file(Media("audio_mono_22k.wav"), source);
  constexpr int kTasks = 20;
  for (int k = 0; k < kTasks; ++k)
    AddTask(source, scratch.File(std::to_string(k) + ".wav"), "acodec=pcm_s16le\nt=0.3");
  const int kept = DescriptorsOn(source);
  EXPECT_GT(kept, 0);
  EXPECT_LE(kept, 8);
  converter.StartConvert(2);
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(DescriptorsOn(source), 0);
  for (int k = 0; k < kTasks; ++k) {
    const std::string output = scratch.File(std::to_string(k) + ".wav");
    EXPECT_NEAR(CountSamples(output), 22050 * 0.3, 64) << output;
  }
  // Taken or dropped, the kept ones no longer count: a new list keeps again.
  converter.ClearTasks();
  AddTask(source, scratch.File("again.wav"), "acodec=pcm_s16le\nt=0.3");
  EXPECT_EQ(DescriptorsOn(source), 1);
}

// Tasks added to a held run join it and start as it has room; it ends only
// once it is let go, and a stop ends a held run too.
TEST_F(ConverterTest, AHeldRunTakesTasksAsTheyAreAdded) {
  converter.HoldRun(true);
  converter.StartConvert(2);
  constexpr int kTasks = 5;
  for (int k = 0; k < kTasks; ++k) {
    AddTask(Media("audio_mono_22k.wav"), scratch.File(std::to_string(k) + ".wav"),
            "acodec=pcm_s16le\nt=0.2");
    if (k == 2) {
      ASSERT_TRUE(WaitFor("terminate", 0));
    }
  }
  for (int k = 0; k < kTasks; ++k)
    ASSERT_TRUE(WaitFor("terminate", k)) << k;
  EXPECT_EQ(Count("terminate", -1), 0);
  converter.HoldRun(false);
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(Count("terminate", -1), 1);
  for (const Event& e : Terminations())
    EXPECT_TRUE(e.index < 0 || (e.finished && !e.exception)) << e.index << ": " << e.message;
  for (int k = 0; k < kTasks; ++k)
    EXPECT_NEAR(CountSamples(scratch.File(std::to_string(k) + ".wav")), 22050 * 0.2, 64) << k;

  // A stop ends a held run as its tasks end, without letting go.
  converter.ClearTasks();
  {
    std::lock_guard<std::mutex> lock(mutex);
    events.clear();
  }
  converter.HoldRun(true);
  converter.StartConvert(1);
  AddTask(Media("h264_aac.mp4"), scratch.File("stopped.mkv"), "vcodec=mpeg4");
  converter.StopConvert();
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(Count("terminate", 0), 1);
  converter.HoldRun(false);
  EXPECT_EQ(Count("terminate", -1), 1);
}

// One at a time: a task that joins the held run just after another ended,
// before the run has gone on from that end, must wait for the task that
// takes the ended one's place instead of starting beside it.
TEST_F(ConverterTest, AJoinAsATaskEndsNeverRunsTwoAtOnce) {
  std::atomic<int> startsBeside{0};
  converter.OnTaskClaimed = [&](int index) {
    if (index == 2 && Count("terminate", 1) == 0) ++startsBeside;
  };
  converter.OnTaskEnded = [&](int index) {
    if (index == 0) AddTask(Media("audio_mono_22k.wav"), scratch.File("c.wav"), "acodec=pcm_s16le");
  };
  converter.HoldRun(true);
  AddTask(Media("audio_mono_22k.wav"), scratch.File("a.wav"), "acodec=pcm_s16le\nt=0.2");
  AddTask(Media("audio_mono_22k.wav"), scratch.File("b.wav"), "acodec=pcm_s16le");
  converter.StartConvert(1);
  ASSERT_TRUE(WaitFor("terminate", 2));
  converter.HoldRun(false);
  ASSERT_TRUE(WaitForEnd());
  converter.ClearTasks();
  converter.OnTaskEnded = nullptr;
  converter.OnTaskClaimed = nullptr;
  EXPECT_EQ(startsBeside.load(), 0);
}

// The codec threads of a task are its share of the cores among the tasks
// that run beside it. A held run starts its first task while it is the only
// one listed, but as many as the run takes will run beside it: with one
// task for every core it gets a single codec thread, and so no picture
// stage thread, from the start. A run of that one task alone keeps them all.
TEST_F(ConverterTest, AHeldRunSharesTheCoresFromItsFirstTask) {
  const int cores = CoreCount();
  if (cores < 2) GTEST_SKIP() << "one core: nothing to share";
  converter.CodecThreads = 0;
  converter.SetLogLevel(llAll);
  int stageLines = 0, filterLines = 0;  // guarded by mutex
  converter.OnLog = [&](int, TLogLevel, const std::string& message) {
    if (message.find("Parsed_showinfo") == std::string::npos) return;
    std::lock_guard<std::mutex> lock(mutex);
    ++filterLines;
    stageLines += ThreadName(CurrentThreadId()) == "moskvid-video";
  };
  for (const bool held : {true, false}) {
    SCOPED_TRACE(held ? "held" : "not held");
    converter.ClearTasks();
    {
      std::lock_guard<std::mutex> lock(mutex);
      events.clear();
      stageLines = filterLines = 0;
    }
    converter.HoldRun(held);
    if (held) converter.StartConvert(cores);
    AddTask(Media("h264_aac.mp4"), scratch.File(held ? "held.mp4" : "alone.mp4"),
            "vcodec=mpeg4\nvfilters=showinfo\nan=1");
    if (!held) converter.StartConvert(cores);
    converter.HoldRun(false);
    ASSERT_TRUE(WaitForEnd());
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_GT(filterLines, 0);
    EXPECT_EQ(stageLines > 0, !held) << stageLines << " of " << filterLines << " lines";
  }
}

}  // namespace
}  // namespace moskvid::test
