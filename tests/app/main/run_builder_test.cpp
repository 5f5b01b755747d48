// Adding files to the list and building a run's tasks, with real files and
// the converter, without any window.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "app/main/add_worker.h"
#include "app/main/file_adder.h"
#include "app/main/run_builder.h"
#include "app/settings/output_plan.h"
#include "app/main/snapshot_files.h"
#include "app/settings/job_settings.h"
#include "app/settings/output_formats.h"
#include "component/bitmap_files.h"
#include "support/test_support.h"

namespace moskvid::test {
namespace {

namespace fs = std::filesystem;

class CountingWarnings : public TWarningSink {
 public:
  void Warning(const std::string& text) override { warnings.push_back(text); }
  std::vector<std::string> warnings;
};

class RunBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(converter.LoadLibraries("", true)) << converter.LastError();
    global.SetConfigFile(scratch.File("moskvid.ini"));
    global.SetProfileFile(MOSKVID_PROFILE_FILE);
    fs::create_directories(scratch.File("out"));
    TAppSettings(global.ConfigFile()).SetOutputFolder(scratch.File("out"));
  }

  std::string Copy(const std::string& media, const std::string& name) {
    fs::copy_file(Media(media), scratch.File(name));
    return scratch.File(name);
  }

  // Adds files as the Add command does and keeps what reached the list.
  void Add(const std::vector<std::string>& paths, int format) {
    TAddCallbacks callbacks;
    callbacks.Listed = [this](const std::string& path) {
      for (const auto& record : added)
        if (record.SourceFile == path) return true;
      return false;
    };
    callbacks.Add = [this](const TlvFilesRecord& record) { added.push_back(record); };
    callbacks.Log = [this](const std::string& line) { log.push_back(line); };
    AddFilesToList(converter, paths, format, global, warnings, callbacks);
  }

  ScratchDir scratch;
  TGlobalObject global;
  TCCAVConverter converter;
  CountingWarnings warnings;
  std::vector<TlvFilesRecord> added;
  std::vector<std::string> log;
};

TEST_F(RunBuilderTest, AddSkipsFoldersDuplicatesAndUnreadableFiles) {
  const std::string clip = Copy("h264_aac.mp4", "Clip.mp4");
  const std::string song = Copy("audio.mp3", "song.mp3");
  const std::string broken = Copy("random.mp4", "broken.mp4");
  Add({clip, scratch.Path(), broken, song}, 5);
  ASSERT_EQ(added.size(), 2u);
  EXPECT_EQ(added[0].SourceFile, clip);
  EXPECT_EQ(added[0].BatchIndex, 0);
  EXPECT_EQ(added[0].Duration, 3);
  EXPECT_EQ(added[0].OutputFile, scratch.File("out") + "/Clip_(new).mp4");
  EXPECT_EQ(added[0].TrimStart, 0);
  EXPECT_EQ(added[0].TrimLength, 0);
  EXPECT_EQ(added[0].ZoomMode, "lbox");
  EXPECT_EQ(added[1].SourceFile, song);
  EXPECT_EQ(added[1].BatchIndex, 3);  // its place in the selection, gaps and all
  // The broken file is told in the log between empty lines; the others are described.
  const auto failure = std::find_if(log.begin(), log.end(), [](const std::string& line) {
    return line.rfind("***File open error: ", 0) == 0;
  });
  ASSERT_NE(failure, log.end());
  EXPECT_EQ(*(failure - 1), "");
  EXPECT_EQ(*(failure + 1), "");
  EXPECT_NE(std::find(log.begin(), log.end(), std::to_string(fs::file_size(clip))), log.end());
  EXPECT_EQ(converter.TaskCount(), 0);

  // The same paths again add nothing; another spelling is another file.
  Add({clip, song}, 5);
  EXPECT_EQ(added.size(), 2u);
  const std::string other = scratch.File("clip.mp4");
  fs::copy_file(clip, other);
  Add({other}, 9);  // an audio format names its output with its own extension
  ASSERT_EQ(added.size(), 3u);
  EXPECT_EQ(fs::path(added[2].OutputFile).filename(), "clip_(new).mp3");
  EXPECT_TRUE(warnings.warnings.empty());
}

TEST_F(RunBuilderTest, OneTaskPerSourceWithNamesOfTheirOwn) {
  const std::string first = Copy("h264_aac.mkv", "clip.mkv");
  const std::string second = Copy("audio.mp3", "song.mp3");
  const std::string third = Copy("mpeg4_mp3_720p.avi", "clip.avi");
  const std::vector<std::string> planned =
      PlanOutputNames({first, second, third}, scratch.File("out"), "mp4");
  std::vector<TRunSource> sources;
  int position = 0;
  for (const std::string& file : {first, second, third}) {
    TRunSource source;
    source.Position = position;
    source.Record.SourceFile = file;
    source.Output = planned[sources.size()];
    sources.push_back(source);
    position += 2;  // list positions need not follow each other
  }
  sources[2].Record.TrimStart = 1000;
  sources[2].Record.TrimLength = 1000;
  const TRunPlan plan = BuildRunTasks(converter, sources, 5, global);
  EXPECT_EQ(planned, plan.Outputs);
  EXPECT_EQ(plan.TaskMap, (std::vector<int>{0, 2, 4}));
  EXPECT_TRUE(plan.Failed.empty());
  ASSERT_EQ(plan.Outputs.size(), 3u);
  EXPECT_EQ(plan.Outputs[0], scratch.File("out") + "/clip_(new).mp4");
  EXPECT_EQ(plan.Outputs[2], scratch.File("out") + "/clip_(new_1).mp4");
  ASSERT_EQ(converter.TaskCount(), 3);
  TOutputOptions options;
  ASSERT_TRUE(converter.GetOutputOptions(2, options));
  EXPECT_TRUE(options.CustomHook);
  EXPECT_TRUE(options.BeforeHook);
  EXPECT_EQ(options.Duration, 1000);
  EXPECT_FALSE(converter.Probe().Loaded());
}

TEST_F(RunBuilderTest, AnUnreadableSourceIsLeftOutAndABadSettingStopsTheRun) {
  const std::string good = Copy("h264_aac.mp4", "good.mp4");
  std::vector<TRunSource> sources(2);
  sources[0].Position = 0;
  sources[0].Record.SourceFile = scratch.File("gone.mp4");
  sources[0].Output = scratch.File("out/gone.mp4");
  sources[1].Position = 1;
  sources[1].Record.SourceFile = good;
  sources[1].Output = scratch.File("out/good.mp4");
  const TRunPlan plan = BuildRunTasks(converter, sources, 5, global);
  EXPECT_EQ(plan.TaskMap, (std::vector<int>{1}));
  ASSERT_EQ(plan.Failed.size(), 1u);
  EXPECT_EQ(plan.Failed[0].Position, 0);
  EXPECT_EQ(plan.Failed[0].Reason.rfind("***File open error: ", 0), 0u);
  EXPECT_EQ(converter.TaskCount(), 1);

  TIniFile(global.ConfigFile()).WriteString(FormatSection(5), "paraVideoBitRate", "fast");
  EXPECT_THROW(BuildRunTasks(converter, {sources[1]}, 5, global), TConversionError);
  EXPECT_EQ(converter.TaskCount(), 0);
  EXPECT_FALSE(converter.Probe().Loaded());
}

// A trimmed file converts exactly: it starts at the first picture at or
// after the start, holds the trimmed length of picture and sound, and keeps
// them together, also when the source has 250 pictures between key frames.
TEST_F(RunBuilderTest, TrimsAreExactOnLongGroupsOfPictures) {
  const std::string source = scratch.File("gop250.mp4");
  const std::string flash =
      "geq=lum='if(between(T,2,2.02)+between(T,7,7.02),235,16)':cb=128:cr=128";
  const std::string beep =
      "aevalsrc='if(between(t,2,2.06)+between(t,7,7.06),0.8*sin(2*PI*1000*t),0)':s=48000:d=10";
  RunCommand("ffmpeg -v error -nostdin -f lavfi -i " +
             Quote("color=c=black:size=320x240:rate=25:duration=10,format=yuv420p," + flash) +
             " -f lavfi -i " + Quote(beep) +
             " -c:v libx264 -preset ultrafast -g 250 -keyint_min 250 -sc_threshold 0 "
             "-pix_fmt yuv420p -c:a aac -b:a 128k " +
             Quote(source));
  TRunSource entry;
  entry.Record.SourceFile = source;
  entry.Output = scratch.File("out/gop250_(new).mp4");
  entry.Record.TrimStart = 1500;   // the mark at 2 s lands at 0.5 s
  entry.Record.TrimLength = 6200;  // to 7.7 s: the mark at 7 s lands at 5.5 s
  const TRunPlan plan = BuildRunTasks(converter, {entry}, 5, global);  // PSP MPEG-4
  ASSERT_EQ(plan.Outputs.size(), 1u);
  std::mutex lock;
  std::condition_variable ended;
  bool done = false;
  converter.OnTerminate = [&](int index, bool, bool, const std::string&) {
    std::lock_guard<std::mutex> guard(lock);
    if (index < 0) done = true;
    ended.notify_all();
  };
  converter.StartConvert(1);
  {
    std::unique_lock<std::mutex> guard(lock);
    ASSERT_TRUE(ended.wait_for(guard, std::chrono::seconds(120), [&] { return done; }));
  }
  converter.OnTerminate = nullptr;
  const std::string out = plan.Outputs[0];
  const auto streams = ProbeStreams(out);
  ASSERT_EQ(streams.size(), 2u);
  // 6.2 s at 29.97 fps, and 6.2 s of 48 kHz sound, each within one frame.
  EXPECT_NEAR(CountFrames(out, "v:0") / (30000.0 / 1001), 6.2, 1 / 29.97 + 1e-6);
  EXPECT_NEAR(CountSamples(out) / 48000.0, 6.2, 1024 / 48000.0 + 1e-6);
  const auto flashes = FlashTimes(out);
  const auto beeps = BeepTimes(out);
  for (double mark : {0.5, 5.5}) {
    EXPECT_NEAR(Nearest(flashes, mark), mark, 0.04) << mark;
    EXPECT_NEAR(Nearest(beeps, mark), mark, 0.04) << mark;
  }
}

TEST(SnapshotFiles, OnlyTheChosenFilesAreWritten) {
  ScratchDir scratch;
  TBitmap24 full, small;
  full.SetSize(64, 48);
  full.Fill(0, 0, 255);  // red, in blue-green-red order
  small.SetSize(32, 24);
  small.Fill(255, 0, 0);  // blue
  const std::string folder = scratch.Path() + "/";
  TSnapshotChoice choice;
  choice.SmallSize = false;
  choice.Bmp = false;
  choice.Quality = 90;
  EXPECT_EQ(WriteSnapshots(full, small, folder, choice),
            (std::vector<std::string>{folder + "Snapshot_full.jpg"}));
  EXPECT_FALSE(fs::exists(folder + "Snapshot_full.bmp"));
  EXPECT_FALSE(fs::exists(folder + "Snapshot_small.jpg"));
  // An independent decoder reads a baseline JPEG of the full size, still red.
  const auto streams = ProbeStreams(folder + "Snapshot_full.jpg");
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].at("codec_name"), "mjpeg");
  EXPECT_EQ(streams[0].at("width"), "64");
  EXPECT_EQ(streams[0].at("height"), "48");
  const std::string sof =
      RunCommand("od -An -tx1 -v " + Quote(folder + "Snapshot_full.jpg") + " | tr -d ' \\n'");
  EXPECT_NE(sof.find("ffc0"), std::string::npos);  // baseline frame header
  EXPECT_EQ(sof.find("ffc2"), std::string::npos);  // no progressive one
  const Picture picture = GrabPicture(folder + "Snapshot_full.jpg", 0, true);
  ASSERT_EQ(picture.width, 64);
  EXPECT_NEAR(picture.Mean(0, 0, 64, 48), 81, 8);  // the luma of pure red

  // A second snapshot replaces the file; all four when all are chosen.
  const auto before = fs::last_write_time(folder + "Snapshot_full.jpg");
  full.Fill(0, 255, 0);
  const auto all = WriteSnapshots(full, small, folder, TSnapshotChoice{});
  EXPECT_EQ(all.size(), 4u);
  EXPECT_GE(fs::last_write_time(folder + "Snapshot_full.jpg"), before);
  EXPECT_EQ(fs::file_size(folder + "Snapshot_small.bmp"), 54u + 32 * 3 * 24);
  EXPECT_NEAR(GrabPicture(folder + "Snapshot_full.jpg", 0, true).Mean(0, 0, 64, 48), 145, 8);
}

TEST(SnapshotFiles, AnUnwritableFolderRaisesAfterTheFilesBeforeIt) {
  ScratchDir scratch;
  TBitmap24 full, small;
  full.SetSize(16, 16);
  small.SetSize(8, 8);
  const std::string folder = scratch.Path() + "/";
  // The small bitmap's name is taken by a folder, so it cannot be written.
  fs::create_directory(folder + "Snapshot_small.bmp");
  EXPECT_THROW(WriteSnapshots(full, small, folder, TSnapshotChoice{}), TFileWriteError);
  EXPECT_TRUE(fs::is_regular_file(folder + "Snapshot_full.bmp"));
  EXPECT_FALSE(fs::exists(folder + "Snapshot_full.jpg"));
}

// The adder's thread: a cancel drops all that was queued or not yet taken,
// and those files can be added again; listed and repeated files are skipped.
TEST_F(RunBuilderTest, AdderThreadCancelsAndAddsAgain) {
  fs::create_directories(scratch.File("season/extra"));
  for (const char* name : {"season/ep10.mp4", "season/ep2.mp4", "season/extra/ep1.mp4"})
    Copy("h264_aac.mp4", name);
  Copy("h264_aac.mp4", "season/notes.txt");
  fs::copy_file(Media("h264_aac.mp4"), scratch.File("season/broken.mp4"));
  fs::resize_file(scratch.File("season/broken.mp4"), 100);
  TAddWorker worker("");
  auto drain = [&worker] {
    std::vector<TProbedFile> all;
    while (!worker.Idle()) {
      for (TProbedFile& probed : worker.Take())
        all.push_back(std::move(probed));
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return all;
  };
  worker.Queue({scratch.File("season")}, true, {});
  worker.Cancel();
  EXPECT_TRUE(drain().empty());

  worker.Queue({scratch.File("season"), scratch.File("season/ep2.mp4")}, true,
               {scratch.File("season/ep10.mp4")});
  const std::vector<TProbedFile> added = drain();
  std::vector<std::string> sources;
  for (const TProbedFile& probed : added)
    sources.push_back(fs::path(probed.Record.SourceFile).filename().string() +
                      (probed.Opened ? "" : " (not opened)"));
  EXPECT_EQ(sources, (std::vector<std::string>{"broken.mp4 (not opened)", "ep2.mp4", "ep1.mp4"}));
  ASSERT_EQ(added.size(), 3u);
  EXPECT_EQ(added[1].Record.Duration, 3);  // probed: the clip's length
  EXPECT_NE(added[0].Log[1].find("File open error"), std::string::npos);
}

}  // namespace
}  // namespace moskvid::test
