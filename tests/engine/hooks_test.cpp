// The three kinds of hooks on real conversions: the application's picture
// hook, the before-hook that gates frame-hook modules, and hook time ranges.
#include <malloc.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "engine/engine_test_support.h"

namespace moskvid::test {
namespace {

using HooksTest = EngineTest;

const std::string kInvert = std::string(MOSKVID_HOOK_DIR) + "/invert_rect.so";

// The MD5 of each decoded picture of the first video stream, by the ffmpeg tool.
std::vector<std::string> PictureHashes(const std::string& file) {
  std::istringstream lines(RunCommand("ffmpeg -v error -nostdin -i " + Quote(file) +
                                      " -map 0:v:0 -f framemd5 - | grep -v '^#'"));
  std::vector<std::string> hashes;
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) hashes.push_back(line.substr(line.rfind(',') + 1));
  }
  return hashes;
}

// Paints the top left corner white and keeps it.
void PaintCorner(TBitmap24& bitmap, bool& update) {
  for (int y = 0; y < 32; ++y) {
    uint8_t* line = bitmap.ScanLine(y);
    for (int x = 0; x < 32 * 3; ++x)
      line[x] = 255;
  }
  update = true;
}

TEST_F(HooksTest, PicturePainterChangesTheOutput) {
  int calls = 0;
  int64_t lastPts = -1;
  bool increasing = true;
  engine.CustomHookHandler = [&](TCustomFFmpeg&, TBitmap24& bitmap, int frame, int64_t pts,
                                 bool& update, bool&) {
    ++calls;
    EXPECT_EQ(frame, calls);
    increasing = increasing && pts > lastPts;
    lastPts = pts;
    // A white square in the top left corner; the rest stays as decoded.
    for (int y = 0; y < 64; ++y) {
      uint8_t* line = bitmap.ScanLine(y);
      for (int x = 0; x < 64 * 3; ++x)
        line[x] = 255;
    }
    update = true;
  };
  const std::string out = scratch.File("painted.mkv");
  ConvertOrFail(Media("sync_25.mp4"), {}, out, {"vcodec=ffv1\nan=1"});
  EXPECT_EQ(calls, 225);
  EXPECT_TRUE(increasing);
  const Picture picture = GrabPicture(out, 1.0);
  EXPECT_GT(picture.Mean(4, 4, 60, 60), 230);
  EXPECT_LT(picture.Mean(100, 100, 300, 200), 30);
}

TEST_F(HooksTest, PainterThatLeavesUpdateOffChangesNothing) {
  int calls = 0;
  engine.CustomHookHandler = [&](TCustomFFmpeg&, TBitmap24& bitmap, int, int64_t, bool& update,
                                 bool&) {
    ++calls;
    bitmap.Fill(255, 255, 255);
    update = false;
  };
  const std::string out = scratch.File("same.mkv");
  ConvertOrFail(Media("h264_aac.mp4"), {}, out, {"vcodec=ffv1\nan=1"});
  const std::vector<std::string> source = PictureHashes(Media("h264_aac.mp4"));
  ASSERT_FALSE(source.empty());
  EXPECT_EQ(calls, static_cast<int>(source.size()));
  // Lossless output equal to the decoded source: the pictures never went
  // through the colour conversions.
  EXPECT_EQ(PictureHashes(out), source);
}

// A painter that only looks may take the pixels by swapping them with a
// bitmap of its own: every picture it gets is whole and new, none is left
// over from what it handed back.
TEST_F(HooksTest, PainterThatTakesThePixelsGetsWholePictures) {
  TBitmap24 kept;
  int calls = 0;
  int staleRows = 0;
  engine.CustomHookHandler = [&](TCustomFFmpeg&, TBitmap24& bitmap, int, int64_t, bool& update,
                                 bool&) {
    ++calls;
    for (int y = 0; y < bitmap.Height(); ++y) {
      const uint8_t* line = bitmap.ScanLine(y);
      staleRows += std::all_of(line, line + bitmap.Stride(), [](uint8_t v) { return v == 0x7F; });
    }
    update = false;
    kept.Swap(bitmap);              // the picture is ours now
    bitmap.Fill(0x7F, 0x7F, 0x7F);  // and what the engine holds is marked
  };
  const std::string out = scratch.File("taken.mkv");
  ConvertOrFail(Media("sync_25.mp4"), {}, out, {"vcodec=ffv1\nan=1"});
  EXPECT_EQ(calls, 225);
  EXPECT_EQ(staleRows, 0);
  EXPECT_EQ(kept.Width(), 320);
  EXPECT_EQ(PictureHashes(out), PictureHashes(Media("sync_25.mp4")));
}

// Rows that are no whole number of the scaler's register writes (360 and
// 322 pictures across, as portrait phone clips and odd sources have them):
// the conversion into the bitmap and back stays inside it, and the
// painted pictures come out whole.
TEST_F(HooksTest, PainterOnNarrowRowsGetsWholePicturesAndLeavesTheRestAlone) {
  // Large blocks from the heap rather than from their own pages, so that a
  // write past a picture's end lands on the heap's bookkeeping and ends the
  // program instead of vanishing into a page's slack.
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  for (const char* size : {"360x640", "322x240"}) {
    SCOPED_TRACE(size);
    const std::string source = scratch.File(std::string("narrow_") + size + ".mkv");
    RunCommand("ffmpeg -v error -nostdin -y -f lavfi -i color=c=gray:s=" + std::string(size) +
               ":r=25:d=1 -c:v ffv1 " + Quote(source));
    TCustomFFmpeg task;
    task.Options.ThreadCount = 2;
    int calls = 0;
    task.CustomHookHandler = [&](TCustomFFmpeg&, TBitmap24& bitmap, int, int64_t, bool&, bool&) {
      ++calls;
      for (int x = 0; x < 10; ++x)  // a white block in the top-left corner
        for (int y = 0; y < 10; ++y)
          std::fill_n(bitmap.ScanLine(y) + 3 * x, 3, 255);
    };
    ASSERT_TRUE(task.OpenInputFile(source));
    task.ApplyOptionText("vcodec=ffv1");
    const std::string out = scratch.File(std::string("narrow_") + size + "_out.mkv");
    ASSERT_TRUE(task.OpenOutputFile(out));
    task.TranscodeRun();
    ASSERT_FALSE(task.HasException) << task.ExceptionMessage;
    EXPECT_EQ(calls, 25);
    const Picture picture = GrabPicture(out, 0.5);
    EXPECT_GT(picture.Mean(0, 0, 8, 8), 230);
    EXPECT_NEAR(picture.Mean(20, 20, picture.width, picture.height), 128, 4);
  }
}

TEST_F(HooksTest, PainterThatRaisesIsLoggedAndCalledNoMore) {
  int calls = 0;
  engine.CustomHookHandler = [&](TCustomFFmpeg&, TBitmap24&, int, int64_t, bool&, bool&) {
    if (++calls == 5) throw std::runtime_error("boom");
  };
  ConvertOrFail(Media("h264_aac.mp4"), {}, scratch.File("raised.mp4"), {"vcodec=mpeg4\nan=1"});
  EXPECT_EQ(calls, 5);
  EXPECT_TRUE(Logged("Error occurs OnCustomHook: boom"));
}

TEST_F(HooksTest, PainterCanStopHooking) {
  int calls = 0;
  engine.CustomHookHandler = [&](TCustomFFmpeg&, TBitmap24&, int, int64_t, bool&, bool& stop) {
    stop = ++calls == 3;
  };
  ConvertOrFail(Media("h264_aac.mp4"), {}, scratch.File("stopped.mp4"), {"vcodec=mpeg4\nan=1"});
  EXPECT_EQ(calls, 3);
}

TEST_F(HooksTest, PainterAndCopyDoNotMix) {
  engine.CustomHookHandler = [](TCustomFFmpeg&, TBitmap24&, int, int64_t, bool&, bool&) {};
  ASSERT_TRUE(Convert(Media("h264_aac.mp4"), {}, scratch.File("copy.mp4"), {"vcodec=copy"}));
  EXPECT_EQ(engine.ExceptionMessage,
            "-vcodec copy and CustomHook are incompatible (frames are not decoded)");
}

// With both hooks the before-hook picks the pictures the painter gets; the
// others go on exactly as decoded, and no picture is lost.
TEST_F(HooksTest, BeforeHookPicksThePicturesForThePainter) {
  int asked = 0;
  engine.BeforeHookHandler = [&](TCustomFFmpeg&, THookAction& action, int64_t) {
    action = ++asked % 5 == 0 ? haContinue : haIgnore;
  };
  std::vector<int> painted;
  engine.CustomHookHandler = [&](TCustomFFmpeg&, TBitmap24& bitmap, int frame, int64_t,
                                 bool& update, bool&) {
    painted.push_back(frame);
    PaintCorner(bitmap, update);
  };
  const std::string out = scratch.File("picked.mkv");
  ConvertOrFail(Media("h264_aac.mp4"), {}, out, {"vcodec=ffv1\nan=1"});
  const std::vector<std::string> source = PictureHashes(Media("h264_aac.mp4"));
  const int frames = static_cast<int>(source.size());
  ASSERT_GE(frames, 50);
  EXPECT_EQ(asked, frames);
  std::vector<int> expected;
  for (int frame = 5; frame <= frames; frame += 5)
    expected.push_back(frame);
  EXPECT_EQ(painted, expected);
  EXPECT_EQ(CountFrames(out, "v:0"), CountFrames(Media("h264_aac.mp4"), "v:0"));
  const std::vector<std::string> result = PictureHashes(out);
  ASSERT_EQ(result.size(), source.size());
  for (int i = 0; i < frames; ++i) {
    if ((i + 1) % 5 == 0) {
      EXPECT_NE(result[i], source[i]) << "picture " << i + 1 << " was not painted";
    } else {
      EXPECT_EQ(result[i], source[i]) << "picture " << i + 1 << " was changed";
    }
  }
}

TEST_F(HooksTest, BeforeHookStopEndsThePainter) {
  int asked = 0;
  engine.BeforeHookHandler = [&](TCustomFFmpeg&, THookAction& action, int64_t) {
    action = ++asked <= 10 ? haContinue : haStop;
  };
  int painted = 0;
  engine.CustomHookHandler = [&](TCustomFFmpeg&, TBitmap24& bitmap, int, int64_t, bool& update,
                                 bool&) {
    ++painted;
    PaintCorner(bitmap, update);
  };
  const std::string out = scratch.File("stopped.mkv");
  ConvertOrFail(Media("h264_aac.mp4"), {}, out, {"vcodec=ffv1\nan=1"});
  EXPECT_EQ(painted, 10);
  EXPECT_EQ(asked, 11);  // not asked again once it said stop
  const std::vector<std::string> source = PictureHashes(Media("h264_aac.mp4"));
  const std::vector<std::string> result = PictureHashes(out);
  ASSERT_EQ(result.size(), source.size());
  EXPECT_NE(result[9], source[9]);
  for (size_t i = 10; i < source.size(); ++i)
    EXPECT_EQ(result[i], source[i]) << "picture " << i + 1;
}

TEST_F(HooksTest, BeforeHookThatRaisesEndsThePainter) {
  int asked = 0;
  engine.BeforeHookHandler = [&](TCustomFFmpeg&, THookAction& action, int64_t) {
    if (++asked == 4) throw std::runtime_error("no");
    action = haContinue;
  };
  int painted = 0;
  engine.CustomHookHandler = [&](TCustomFFmpeg&, TBitmap24&, int, int64_t, bool&, bool&) {
    ++painted;
  };
  const std::string out = scratch.File("raised.mkv");
  ConvertOrFail(Media("h264_aac.mp4"), {}, out, {"vcodec=ffv1\nan=1"});
  EXPECT_EQ(painted, 3);
  EXPECT_EQ(asked, 4);
  bool loggedAsError = false;
  for (size_t i = 0; i < logLines.size(); ++i) {
    loggedAsError =
        loggedAsError || (logLines[i] == "Error occurs OnBeforeHook: no" && logLevels[i] == 0);
  }
  EXPECT_TRUE(loggedAsError);
  EXPECT_EQ(CountFrames(out, "v:0"), CountFrames(Media("h264_aac.mp4"), "v:0"));
}

TEST_F(HooksTest, BeforeHookGatesTheModules) {
  std::vector<THookAction> seen;
  engine.BeforeHookHandler = [&](TCustomFFmpeg&, THookAction& action, int64_t pts) {
    seen.push_back(action);
    // Invert during the first second, leave 1 s to 2 s alone, then stop.
    action = pts < 1000000 ? haContinue : (pts < 2000000 ? haIgnore : haStop);
  };
  const std::string out = scratch.File("gated.mkv");
  ConvertOrFail(Media("sync_25.mp4"), {}, out, {"vcodec=ffv1\nan=1\nt=3\nvhook=" + kInvert});
  // Asked for every frame up to the stop, and then no more.
  EXPECT_EQ(seen.size(), 51u);
  EXPECT_EQ(seen[1], haContinue);
  EXPECT_EQ(seen.back(), haIgnore);
  EXPECT_GT(GrabPicture(out, 0.5).Mean(0, 0, 320, 240), 200);
  EXPECT_LT(GrabPicture(out, 1.5).Mean(0, 0, 320, 240), 30);
  EXPECT_LT(GrabPicture(out, 2.5).Mean(0, 0, 320, 240), 30);
}

TEST_F(HooksTest, BeforeHookThatRaisesTurnsTheModulesOff) {
  engine.BeforeHookHandler = [](TCustomFFmpeg&, THookAction&, int64_t) {
    throw std::runtime_error("no");
  };
  const std::string out = scratch.File("off.mkv");
  ConvertOrFail(Media("sync_25.mp4"), {}, out, {"vcodec=ffv1\nan=1\nt=1\nvhook=" + kInvert});
  EXPECT_TRUE(Logged("Error occurs OnBeforeHook: no"));
  EXPECT_LT(GrabPicture(out, 0.5).Mean(0, 0, 320, 240), 30);
}

TEST_F(HooksTest, TimeRangesGateTheModules) {
  TOutputOptions record;
  record.HookRanges = "0-1000,2000-3000";
  record.ExtOptions = "vcodec=ffv1\nan=1\nt=4\nvhook=" + kInvert + " 0 0 160 240";
  ASSERT_TRUE(engine.OpenInputFile(Media("sync_25.mp4")));
  engine.ApplyOutputOptions(record);
  const std::string out = scratch.File("ranges.mkv");
  ASSERT_TRUE(engine.OpenOutputFile(out));
  engine.TranscodeRun();
  ASSERT_TRUE(engine.Finished) << engine.ExceptionMessage;
  for (double t : {0.5, 2.5}) {
    const Picture picture = GrabPicture(out, t);
    EXPECT_GT(picture.Mean(0, 0, 150, 240), 200) << t;  // the left half is inverted
    EXPECT_LT(picture.Mean(170, 0, 320, 240), 30) << t;
  }
  for (double t : {1.5, 3.5})
    EXPECT_LT(GrabPicture(out, t).Mean(0, 0, 320, 240), 30) << t;
}

}  // namespace
}  // namespace moskvid::test
