// The main window's rules, without any window: the list, the preview
// slider, the progress texts and the add filter.
#include <gtest/gtest.h>

#include <fnmatch.h>

#include <algorithm>

#include "app/main/conversion_run.h"
#include "app/main/list_drawing.h"
#include "app/main/list_rules.h"
#include "app/settings/open_filter.h"
#include "app/main/preview_rules.h"
#include "app/main/progress_rules.h"
#include "engine/option_records.h"

namespace moskvid {
namespace {

TEST(FileListRules, DuplicatesAreExactCaptions) {
  const std::vector<std::string> listed = {"/media/Clip.avi", "/media/song.mp3"};
  EXPECT_TRUE(HasCaption(listed, "/media/Clip.avi"));
  EXPECT_FALSE(HasCaption(listed, "/media/clip.avi"));  // another spelling is another file
  EXPECT_FALSE(HasCaption(listed, "/media/Clip.avi "));
  EXPECT_FALSE(HasCaption({}, "/media/Clip.avi"));
}

TEST(FileListRules, SelectionAfterRemove) {
  EXPECT_EQ(SelectionAfterRemove(2, 2), 1);  // the last of three: the new last one
  EXPECT_EQ(SelectionAfterRemove(0, 2), 0);  // the first of three: the one now first
  EXPECT_EQ(SelectionAfterRemove(1, 2), 1);  // the middle one: its successor
  EXPECT_EQ(SelectionAfterRemove(0, 0), -1);
  // Several at once: where the first of them was.
  EXPECT_EQ(SelectionAfterRemoving({1, 3}, 3), 1);
  EXPECT_EQ(SelectionAfterRemoving({3, 4}, 3), 2);
  EXPECT_EQ(SelectionAfterRemoving({}, 3), -1);
}

TEST(FileListRules, CheckCommands) {
  std::vector<bool> checks = {true, false, true};
  ApplyCheckCommand(checks, ccReverseCheck, {});
  EXPECT_EQ(checks, (std::vector<bool>{false, true, false}));
  ApplyCheckCommand(checks, ccCheckAll, {});
  EXPECT_EQ(checks, (std::vector<bool>{true, true, true}));
  ApplyCheckCommand(checks, ccUncheck, {1});
  EXPECT_EQ(checks, (std::vector<bool>{true, false, true}));
  ApplyCheckCommand(checks, ccUncheckAll, {0});
  EXPECT_EQ(checks, (std::vector<bool>{false, false, false}));
  ApplyCheckCommand(checks, ccCheck, {0, 2});  // every selected entry
  EXPECT_EQ(checks, (std::vector<bool>{true, false, true}));
  // Without a selection, Check and Uncheck leave every entry as it is.
  ApplyCheckCommand(checks, ccUncheck, {});
  ApplyCheckCommand(checks, ccUncheck, {3});
  EXPECT_EQ(checks, (std::vector<bool>{true, false, true}));
  // Space flips the current entry; the other selected ones follow it.
  ToggleChecks(checks, {0, 1}, 1);
  EXPECT_EQ(checks, (std::vector<bool>{true, true, true}));
  ToggleChecks(checks, {1, 2}, 2);
  EXPECT_EQ(checks, (std::vector<bool>{true, false, false}));
}

TEST(FileListRules, MenuEnabling) {
  const TEditMenuState empty = EditMenuState(0);
  EXPECT_FALSE(empty.Crop || empty.Trim || empty.CheckAll || empty.UncheckAll ||
               empty.ReverseCheck || empty.Check || empty.Uncheck);
  const TEditMenuState some = EditMenuState(2);
  EXPECT_TRUE(some.Crop && some.Trim && some.CheckAll && some.UncheckAll && some.ReverseCheck &&
              some.Check && some.Uncheck);
  EXPECT_FALSE(some.WaterMarkVisible);

  const TPopupMenuState none = PopupMenuState(3, -1);
  EXPECT_FALSE(none.Crop || none.Trim || none.WaterMark || none.Information || none.Remove ||
               none.Clear || none.Start);
  const TPopupMenuState selected = PopupMenuState(3, 1);
  EXPECT_TRUE(selected.Crop && selected.Trim && selected.Information && selected.Remove &&
              selected.Clear && selected.Start);
  EXPECT_FALSE(selected.WaterMarkVisible);
  EXPECT_FALSE(PopupMenuState(0, 0).Remove);
}

// The popup's Sound Track menu: Automatic and every track, the entry's
// choice checked, each with a key of its own; a choice only among two
// tracks or more.
TEST(FileListRules, SoundTrackMenu) {
  const std::vector<TAVAudioTrack> tracks = {{1, 1, "eng", "ac3", 6, false},
                                             {2, 2, "", "a&b", 2, true}};
  const struct {
    std::vector<TAVAudioTrack> tracks;
    int chosen;
    bool enabled;
    std::vector<std::string> texts;
    int checked;  // the item checked, -1 for none
  } cases[] = {
      {tracks,
       0,
       true,
       {"&Automatic", "Track &1: eng, ac3, 6 channels", "Track &2: a&&b, 2 channels (default)"},
       0},
      {tracks, 2, true, {}, 2},
      {tracks, 5, true, {}, -1},  // a track the file no longer has: none
      {{tracks[0]}, 0, false, {"&Automatic", "Track &1: eng, ac3, 6 channels"}, 0},
      {{}, 0, false, {"&Automatic"}, 0},
      {{{10, 11, "ger", "opus", 2, false}},
       10,
       false,
       {"&Automatic", "Track 10: ger, opus, 2 channels"},
       1},
  };
  for (const auto& c : cases) {
    const TSoundTrackMenu menu = SoundTrackMenu(c.tracks, c.chosen);
    EXPECT_EQ(menu.Enabled, c.enabled) << c.chosen;
    ASSERT_EQ(menu.Items.size(), c.tracks.size() + 1);
    std::vector<std::string> texts;
    for (size_t i = 0; i < menu.Items.size(); ++i) {
      texts.push_back(menu.Items[i].Text);
      EXPECT_EQ(menu.Items[i].Track, i == 0 ? 0 : c.tracks[i - 1].Number);
      EXPECT_EQ(menu.Items[i].Checked, static_cast<int>(i) == c.checked) << c.chosen << " " << i;
    }
    if (!c.texts.empty()) {
      EXPECT_EQ(texts, c.texts);
    }
  }
}

// The commands each phase allows, and the run numbers that keep a
// cancelled run's late events away from the next run.
TEST(ConversionRun, PhasesCommandsAndNumbers) {
  TConversionRun run;
  EXPECT_TRUE(run.Commands(2).Start && !run.Commands(0).Start);
  const int first = run.Prepare();
  for (const TRunPhase phase : {rpPreparing, rpRunning}) {
    if (phase == rpRunning) {
      EXPECT_TRUE(run.Begin({0, 2}, {"/out/a.mp4", "/out/c.mp4"}));
    }
    EXPECT_EQ(run.Phase(), phase);
    const TRunCommands running = run.Commands(3);
    EXPECT_TRUE(!running.Add && !running.Start && !running.Remove && running.Stop && running.Pause);
  }
  EXPECT_EQ(run.Position(1), 2);
  EXPECT_EQ(run.Position(2), -1);
  // Cancelled: Add only, until its end arrives.
  run.Stop();
  const TRunCommands stopping = run.Commands(3);
  EXPECT_TRUE(stopping.Add && !stopping.Start && !stopping.Remove && !stopping.Clear);
  EXPECT_FALSE(stopping.Stop || stopping.Pause || stopping.Resume);
  EXPECT_TRUE(run.Accepts(first));  // its own events still count
  EXPECT_TRUE(run.End(first, {}).has_value());
  EXPECT_FALSE(run.End(first, {}).has_value());  // a second end of the same run
  const int second = run.Prepare();
  EXPECT_FALSE(run.Accepts(first));  // what the cancelled run still sends
  EXPECT_TRUE(run.Accepts(second));
  // Stopped while its tasks were set up: they never start.
  run.Stop();
  EXPECT_FALSE(run.Begin({1}, {"/out/b.mp4"}));
  EXPECT_EQ(run.Phase(), rpStopping);
  EXPECT_EQ(RunTallyText({2, 1, 0}), "2 files converted, 1 failed.");
  EXPECT_EQ(RunTallyText({1, 0, 1}), "1 file converted, 1 stopped.");
}

// The run's end, whichever task ends last and however the tasks ended:
// one message for every failure, and the folder opened and the machine
// powered off for any run the user did not cancel.
TEST(ConversionRun, TheEndDecidesOnceForTheWholeRun) {
  struct Case {
    const char* name;
    std::vector<TTaskOutcome> ends;  // of tasks 0, 1, 2, in the order they end
    std::vector<int> order;
    int setUpFailures;
    bool cancel;
    TRunEndChoices choices;
    bool open, shutDown;
    const char* message;
  } cases[] = {
      {"all converted",
       {toConverted, toConverted, toConverted},
       {0, 1, 2},
       0,
       false,
       {true, true},
       true,
       true,
       ""},
      {"the last to end fails",
       {toConverted, toConverted, toFailed},
       {0, 1, 2},
       0,
       false,
       {true, true},
       true,
       true,
       "REASON 2"},
      {"every task fails",
       {toFailed, toFailed, toFailed},
       {2, 0, 1},
       0,
       false,
       {true, true},
       false,
       true,
       "f2: REASON 2\nf0: REASON 0\nf1: REASON 1"},
      {"a set-up failure and one at run time",
       {toConverted, toFailed, toConverted},
       {1, 0, 2},
       1,
       false,
       {false, false},
       false,
       false,
       "set up: REASON\nf1: REASON 1"},
      {"cancelled",
       {toConverted, toStopped, toStopped},
       {0, 1, 2},
       0,
       true,
       {true, true},
       false,
       false,
       ""},
  };
  for (const Case& c : cases) {
    TConversionRun run;
    const int number = run.Prepare();
    for (int k = 0; k < c.setUpFailures; ++k)
      run.SetUpFailed("set up", "REASON");
    ASSERT_TRUE(run.Begin({0, 1, 2}, {"a", "b", "c"})) << c.name;
    if (c.cancel) run.Stop();
    for (size_t k = 0; k < c.order.size(); ++k) {
      const int task = c.order[k];
      const bool last = run.TaskEnded(task, c.ends[static_cast<size_t>(task)],
                                      "f" + std::to_string(task), "REASON " + std::to_string(task));
      EXPECT_EQ(last, k + 1 == c.order.size()) << c.name << " task " << task;
      // A second report of the same end counts nothing.
      EXPECT_FALSE(run.TaskEnded(task, toFailed, "again", "again")) << c.name;
    }
    const std::optional<TRunEnd> end = run.End(number, c.choices);
    ASSERT_TRUE(end.has_value()) << c.name;
    EXPECT_EQ(end->OpenFolder, c.open) << c.name;
    EXPECT_EQ(end->ShutDown, c.shutDown) << c.name;
    EXPECT_EQ(end->Cancelled, c.cancel) << c.name;
    EXPECT_EQ(end->Message, c.message) << c.name;
    EXPECT_EQ(end->Tally.Failed, static_cast<int>(run.FailureLines().size())) << c.name;
  }

  // Thousands of failures still make one message of bounded length.
  TConversionRun run;
  const int number = run.Prepare();
  std::vector<int> tasks(5000);
  for (int k = 0; k < 5000; ++k)
    tasks[static_cast<size_t>(k)] = k;
  run.Begin(tasks, std::vector<std::string>(5000));
  for (int k = 0; k < 5000; ++k)
    run.TaskEnded(k, toFailed, "f" + std::to_string(k), "gone");
  const std::string message = run.End(number, {})->Message;
  EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), TConversionRun::kMaxMessageLines);
  EXPECT_NE(message.find("4980 more"), std::string::npos) << message;
}

TEST(FileListDrawing, RowColoursOfEverySkin) {
  EXPECT_EQ(RowBackground(0, 3), 0xFFFFFFu);
  EXPECT_EQ(RowBackground(2, 0), 0xFFFFFFu);
  const uint32_t tints[] = {0xE2E6F6, 0xECECEC, 0xF8F2E0, 0xF6E6F1, 0xF7E1E1, 0xE2F7E1, 0xE1F0F7};
  for (int skin = 0; skin < 7; ++skin) {
    EXPECT_EQ(RowBackground(1, skin), tints[skin]) << skin;
    EXPECT_EQ(RowBackground(5, skin), tints[skin]) << skin;
  }
  EXPECT_EQ(RowBackground(1, 7), 0xEBEBEBu);
  EXPECT_EQ(RowBackground(1, -1), 0xEBEBEBu);
  EXPECT_EQ(SelectedRowFill(true), 0xB9CCECu);
  EXPECT_EQ(SelectedRowFill(false), 0xE5ECF8u);
  EXPECT_EQ(SelectedRowFrame(true), 0x7AA0DAu);
  EXPECT_EQ(SelectedRowFrame(false), 0x98B5E2u);
}

TEST(FileListDrawing, CheckBoxTickAndTextRectangles) {
  const TBox row{10, 40, 150, 58};
  EXPECT_EQ(CheckBoxBox(row), (TBox{12, 42, 24, 56}));
  const auto tick = TickPoints(row);
  EXPECT_EQ(tick[0], (TPoint{14, 46}));
  EXPECT_EQ(tick[1], (TPoint{16, 51}));
  EXPECT_EQ(tick[2], (TPoint{21, 45}));
  EXPECT_EQ(Narrow(row, 1), (TBox{11, 41, 149, 57}));
  EXPECT_EQ(SubItemTextBox(row), (TBox{13, 43, 147, 55}));
  EXPECT_EQ(CaptionTextBox(row, true), (TBox{29, 43, 147, 55}));
  EXPECT_EQ(CaptionTextBox(row, false), SubItemTextBox(row));
}

TEST(PreviewSlider, StepsForLongAndShortFiles) {
  const TSliderPlan hundred = PlanSlider(100'000'000, 256, false);
  EXPECT_TRUE(hundred.Visible);
  EXPECT_EQ(hundred.TimeUnit, 10000);
  EXPECT_EQ(hundred.Steps, 10000);
  EXPECT_EQ(hundred.LineSize, 100);
  EXPECT_EQ(hundred.PageSize, 500);
  EXPECT_EQ(hundred.TickSpacing, 10000 / ((256 - 12) / 10));

  const TSliderPlan ten = PlanSlider(10'000'000, 256, false);
  EXPECT_EQ(ten.TimeUnit, 1000);
  EXPECT_EQ(ten.Steps, 10000);

  const TSliderPlan ninety = PlanSlider(90'000'000, 256, false);
  EXPECT_EQ(ninety.TimeUnit, 10000);
  EXPECT_EQ(ninety.Steps, 9000);
  EXPECT_EQ(TickAdvance(ninety.Steps, 90'000'000), 100);

  // Line sizes at each bound; the range always fits 32767.
  EXPECT_EQ(PlanSlider(1'000, 256, false).Steps, 100);
  EXPECT_EQ(PlanSlider(1'000, 256, false).LineSize, 1);
  EXPECT_EQ(PlanSlider(10'000, 256, false).LineSize, 10);
  EXPECT_EQ(PlanSlider(327'670, 256, false).Steps, 32767);
  EXPECT_EQ(PlanSlider(327'670, 256, false).LineSize, 1000);
  EXPECT_EQ(PlanSlider(327'680, 256, false).TimeUnit, 100);
  for (int64_t duration : {int64_t{1}, int64_t{999'999'999}, int64_t{86'400'000'000}}) {
    EXPECT_LE(PlanSlider(duration, 256, false).Steps, 32767) << duration;
  }
}

TEST(PreviewSlider, StillPicturesAndUnknownDurationsHaveNone) {
  EXPECT_FALSE(PlanSlider(5'000'000, 256, true).Visible);
  EXPECT_FALSE(PlanSlider(0, 256, false).Visible);
  EXPECT_EQ(PlanSlider(0, 256, false).Steps, 0);
  EXPECT_FALSE(PlanSlider(-1, 256, false).Visible);
  // A slider too narrow for ticks gets one at each end.
  EXPECT_EQ(PlanSlider(10'000'000, 20, false).TickSpacing, 10000);
}

TEST(PreviewSlider, TickAdvanceAndTimeLabel) {
  EXPECT_EQ(TickAdvance(1000, 1'000'000), 1000);  // a second or less: straight to the end
  EXPECT_EQ(TickAdvance(500, 800'000), 500);
  EXPECT_EQ(TickAdvance(10000, 100'000'000), 100);
  // Beyond 32767 seconds a step is more than a second: still one step a tick.
  const TSliderPlan tenHours = PlanSlider(36'000'000'000, 256, false);
  EXPECT_EQ(TickAdvance(tenHours.Steps, 36'000'000'000), 1);
  EXPECT_EQ(TickAdvance(32767, 32'767'000'000), 1);
  EXPECT_EQ(PreviewTimeText(1234, 10000), "Time: 12.340");
  EXPECT_EQ(PreviewTimeText(0, 10), "Time: 0.000");
  EXPECT_EQ(PreviewTimeText(32767, 100000), "Time: 3276.700");
  EXPECT_EQ(PreviewTimeText(7, 1000), "Time: 0.007");
}

TEST(ProgressTexts, FiguresOfOneReport) {
  EXPECT_EQ(ProgressPercent(30500, 61000), 50);
  EXPECT_EQ(PercentText(ProgressPercent(30500, 61000)), "50%");
  EXPECT_EQ(SecondsText(30500), "30 Second");
  EXPECT_EQ(SecondsText(61000), "61 Second");
  EXPECT_EQ(KilobytesText(1234567), "1234 kb");
  EXPECT_EQ(OutputSizeText(1234567, 0), "1234 kb");
  EXPECT_EQ(OutputSizeText(0, 1), "0 kb (first of two passes)");
  EXPECT_EQ(OutputSizeText(1234567, 2), "1234 kb (second of two passes)");
  EXPECT_EQ(TaskCounterText(1, 5), "[2/5]");
  EXPECT_EQ(ProgressPercent(100, 0), -1);
  EXPECT_EQ(ProgressPercent(100, -1), -1);
  EXPECT_EQ(ProgressPercent(2'000'000'000, 2'000'000'000), 100);  // no overflow
  EXPECT_EQ(ProgressPercent(61001, 61000), 100);
}

TEST(ProgressTexts, LongOutputNamesAreCutBeforeTheirExtension) {
  const std::string fifty = "/home/user/moskvid/" + std::string(27, 'a') + ".mp4";
  ASSERT_EQ(fifty.size(), 50u);
  EXPECT_EQ(OutputNameText(fifty), fifty);
  const std::string fiftyOne = "/home/user/moskvid/" + std::string(28, 'b') + ".mp4";
  EXPECT_EQ(OutputNameText(fiftyOne), fiftyOne.substr(0, 44) + ".." + ".mp4");
  // Characters, not bytes: 50 two-byte letters stay whole.
  std::string letters;
  for (int i = 0; i < 46; ++i)
    letters += "\xC3\xA9";  // é
  EXPECT_EQ(OutputNameText(letters + ".mp4"), letters + ".mp4");
  const std::string cut = OutputNameText(letters + "x.mp4");
  EXPECT_EQ(cut, letters.substr(0, 88) + ".." + ".mp4");
  // A dot in a folder is no extension.
  const std::string dotted = "/media/v1.2/" + std::string(50, 'c');
  EXPECT_EQ(OutputNameText(dotted), dotted.substr(0, 44) + "..");
}

TEST(ProgressTexts, SpeedAndTimeLeft) {
  TTaskClock clock;
  clock.Start(100.0);
  EXPECT_EQ(clock.SpeedText(), "");
  EXPECT_EQ(clock.TimeLeftText(), "");
  clock.Update(1, 1000, 104.0);
  EXPECT_EQ(clock.TimeLeftText(), "");  // under 2%: no estimate yet
  EXPECT_EQ(clock.SpeedText(), "0.2x");
  clock.Update(10, 30000, 110.0);  // 1 s per percent
  EXPECT_EQ(clock.TimeLeftText(), "00:01:30");
  EXPECT_EQ(clock.SpeedText(), "3.0x");
  clock.Update(50, 60000, 1100.0);  // 20 s per percent
  EXPECT_EQ(clock.TimeLeftText(), "00:16:40");
  EXPECT_EQ(ClockText(3725), "01:02:05");
}

TEST(AddFilter, TheExactTextAndItsPairs) {
  EXPECT_EQ(
      AddDialogFilter(),
      "Video/Audio/Picture "
      "Files|*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;*.MPEG;*.DAT;*.OGM;*"
      "."
      "VOB;*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.SWF;*.MP3;*.AAC;*.WAV;*.WMA;*.CDA;*.FLAC;*.M4A;*."
      "MID;"
      "*.MKA;*.MP2;*.MPA;*.MPC;*.APE;*.OFR;*.OGG;*.RA;*.WV;*.TTA;*.AC3;*.DTS;*.BMP;*.GIF;*.JPEG;*."
      "JPG;*.PNG;|Video "
      "Files|*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;*.MPEG;*.DAT;*.OGM;*"
      "."
      "VOB;*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.SWF;|Audio "
      "Files|*.MP3;*.AAC;*.WAV;*.WMA;*.CDA;*.FLAC;*.M4A;*.MID;*.MKA;*.MP2;*.MPA;*.MPC;*.APE;*.OFR;*"
      "."
      "OGG;*.RA;*.WV;*.TTA;*.AC3;*.DTS;|Picture Files|*.BMP;*.GIF;*.JPEG;*.JPG;*.PNG;|All "
      "Files|*.*");
  const auto filters = ParseFileFilter(AddDialogFilter());
  ASSERT_EQ(filters.size(), 5u);
  EXPECT_EQ(filters[0].Description, "Video/Audio/Picture Files");
  EXPECT_EQ(filters[0].Patterns.size(), 47u);
  EXPECT_EQ(filters[1].Patterns.size(), 22u);
  EXPECT_EQ(filters[2].Patterns.size(), 20u);
  EXPECT_EQ(filters[3].Patterns.size(), 5u);
  EXPECT_EQ(filters[4].Description, "All Files");
  EXPECT_EQ(filters[4].Patterns, (std::vector<std::string>{"*.*"}));
}

TEST(AddFilter, PatternsMatchInAnyCase) {
  const auto filters = ParseFileFilter(AddDialogFilter());
  EXPECT_TRUE(MatchesFilter(filters[0], "clip.avi"));
  EXPECT_TRUE(MatchesFilter(filters[0], "Clip.Mp4"));
  EXPECT_TRUE(MatchesFilter(filters[3], "photo.JPG"));
  EXPECT_FALSE(MatchesFilter(filters[2], "clip.avi"));
  EXPECT_FALSE(MatchesFilter(filters[0], "notes.txt"));
  EXPECT_FALSE(MatchesFilter(filters[0], "clip.avi.part"));
  EXPECT_TRUE(MatchesFilter(filters[4], "README"));  // "all files" has files without a dot
  EXPECT_EQ(CaseFreeGlob("*.3GP"), "*.3[gG][pP]");
  EXPECT_EQ(::fnmatch(CaseFreeGlob("*.MKV").c_str(), "x.mKv", 0), 0);
}

}  // namespace
}  // namespace moskvid
