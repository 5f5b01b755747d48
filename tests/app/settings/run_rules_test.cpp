// How many tasks a run converts at once, and the whole run's progress and
// time left.
#include <gtest/gtest.h>

#include "app/settings/run_progress.h"
#include "app/settings/simultaneous.h"
#include "support/test_support.h"

namespace moskvid::test {
namespace {

TEST(Simultaneous, StoredChoicesAndAuto) {
  ScratchDir scratch;
  TIniFile config(scratch.File("moskvid.ini"));
  EXPECT_EQ(ReadSimultaneous(config), 1) << "one after another unless chosen";
  WriteSimultaneous(config, kSimultaneousAuto);
  EXPECT_EQ(config.ReadString("settings", "simultaneous", ""), "auto");
  EXPECT_EQ(ReadSimultaneous(config), kSimultaneousAuto);
  WriteSimultaneous(config, 3);
  EXPECT_EQ(ReadSimultaneous(config), 3);
  config.WriteString("settings", "simultaneous", "9");  // beyond the choices
  EXPECT_EQ(ReadSimultaneous(config), 1);
  config.WriteString("settings", "simultaneous", "two");
  EXPECT_EQ(ReadSimultaneous(config), 1);

  const auto choices = SimultaneousChoices();
  ASSERT_EQ(choices.size(), 9u);
  EXPECT_EQ(choices.front(), "1");
  EXPECT_EQ(choices.back(), "Auto");
  for (int choice = 0; choice < 9; ++choice)
    EXPECT_EQ(ChoiceOfSimultaneous(SimultaneousOfChoice(choice)), choice);

  int value = -1;
  EXPECT_TRUE(ParseSimultaneous("auto", value) && value == kSimultaneousAuto);
  EXPECT_TRUE(ParseSimultaneous("12", value) && value == 12);
  EXPECT_FALSE(ParseSimultaneous("0", value) || ParseSimultaneous("2x", value) ||
               ParseSimultaneous("", value) || ParseSimultaneous("65", value));

  const std::vector<TJobShape> album(12, TJobShape{});
  const std::vector<TJobShape> sd(16, TJobShape{true, 720, 480});
  std::vector<TJobShape> mixed = sd;
  mixed.push_back(TJobShape{true, 1920, 1080});
  EXPECT_EQ(SimultaneousFor(kSimultaneousAuto, album, 2), 2);
  EXPECT_EQ(SimultaneousFor(kSimultaneousAuto, album, 16), 12) << "no more than the jobs";
  EXPECT_EQ(SimultaneousFor(kSimultaneousAuto, sd, 8), 8);
  EXPECT_EQ(SimultaneousFor(kSimultaneousAuto, mixed, 2), 1);
  EXPECT_EQ(SimultaneousFor(kSimultaneousAuto, mixed, 16), 2);
  EXPECT_EQ(SimultaneousFor(4, album, 2), 4) << "a number is taken as it is";
  EXPECT_EQ(SimultaneousFor(4, {TJobShape{}}, 2), 1);
}

TEST(RunProgress, LengthConvertedOfTheTotalDoneCountAndLines) {
  TRunProgress run;
  run.Begin({"a.wav", "b.wav", "c.wav"}, {10000, 30000, -1});
  EXPECT_EQ(run.DoneText(), "[0/3]");
  EXPECT_EQ(run.RunPercent(), 0);
  run.TaskStarted(0, 1.0);
  run.TaskStarted(1, 1.0);
  run.TaskProgress(0, 5000, 10000, -1, 2.0);
  run.TaskProgress(1, 3000, 30000, 48, 3.0);
  EXPECT_EQ(run.RunPercent(), 20) << "8 s of 40 s";
  EXPECT_EQ(run.TaskPercent(0), 50);
  EXPECT_EQ(run.TaskLine(0), "a.wav  50%  5.0x");
  EXPECT_EQ(run.TaskLine(1), "b.wav  10%  1.5x");
  EXPECT_DOUBLE_EQ(run.TaskFps(1), 24.0) << "pictures over the task's own time";
  EXPECT_DOUBLE_EQ(run.TaskFps(0), -1) << "no pictures";
  EXPECT_EQ(run.Running(), (std::vector<int>{0, 1}));

  run.TaskEnded(0);
  run.TaskEnded(0);  // counted once
  run.TaskStarted(2, 3.0);
  EXPECT_EQ(run.DoneText(), "[1/3]");
  EXPECT_EQ(run.Running(), (std::vector<int>{1, 2}));
  EXPECT_EQ(run.RunPercent(), 32) << "13 s of 40 s; the third's length is not known yet";
  run.TaskProgress(2, 1000, 20000, -1, 4.0);  // reported: the total grows to 60 s
  EXPECT_EQ(run.RunPercent(), 23);
  run.TaskProgress(1, 45000, 30000, 48, 5.0);  // past its end: counted up to it
  EXPECT_EQ(run.TaskPercent(1), 100);
  run.TaskEnded(1);
  run.TaskEnded(2);  // a failed task counts as done as well
  EXPECT_EQ(run.RunPercent(), 100);
  EXPECT_EQ(run.DoneText(), "[3/3]");
  EXPECT_TRUE(run.Running().empty());
  run.TaskProgress(2, 5000, 20000, -1, 6.0);  // late figures of an ended task
  EXPECT_EQ(run.RunPercent(), 100);
}

TEST(RunProgress, TimeLeftFromTheRunsRate) {
  enum Kind { kReport, kEnd, kPause, kResume };
  struct Step {
    Kind kind;
    int task;
    int ms;
    double at;  // seconds
  };
  const struct {
    const char* what;
    int atOnce;  // started at 0 s; an ended task's successor starts as it ends
    std::vector<int> lengths;
    std::vector<Step> steps;
    double left;  // seconds, -1 none
  } cases[] = {
      {"too soon to tell", 1, {60000}, {{kReport, 0, 3000, 1}}, -1},
      {"two at once add up; one not started counts whole",
       2,
       {60000, 60000, 60000},
       {{kReport, 0, 20000, 10}, {kReport, 1, 10000, 10}},
       50},
      {"an ended task has nothing left; its media counts in the rate",
       2,
       {60000, 60000, 60000},
       {{kReport, 0, 60000, 20}, {kEnd, 0, 0, 20}, {kReport, 1, 20000, 20}},
       25},
      {"paused time does not count",
       1,
       {60000},
       {{kReport, 0, 10000, 10},
        {kPause, 0, 0, 10},
        {kPause, 0, 0, 20},  // told twice
        {kReport, 0, 10000, 11},
        {kResume, 0, 0, 70},
        {kReport, 0, 20000, 80}},
       40},
      {"the last minute's rate, not the whole run's",
       1,
       {600000},
       {{kReport, 0, 120000, 60}, {kReport, 0, 180000, 120}},
       420},
      {"no progress over the last minute: no rate",
       1,
       {60000},
       {{kReport, 0, 10000, 10}, {kReport, 0, 10000, 80}},
       -1},
      {"past its length nothing is left, never less", 1, {60000}, {{kReport, 0, 70000, 10}}, 0},
      {"a task left of unknown length", 1, {60000, -1}, {{kReport, 0, 30000, 10}}, -1},
  };
  for (const auto& c : cases) {
    TRunProgress run;
    run.Begin(std::vector<std::string>(c.lengths.size(), "f.mp4"), c.lengths);
    for (int i = 0; i < c.atOnce; ++i)
      run.StartNext(0);
    for (const Step& step : c.steps) {
      if (step.kind == kReport) run.TaskProgress(step.task, step.ms, -1, -1, step.at);
      if (step.kind == kEnd) {
        run.TaskEnded(step.task);
        run.StartNext(step.at);
      }
      if (step.kind == kPause || step.kind == kResume) run.SetPaused(step.kind == kPause, step.at);
    }
    EXPECT_NEAR(run.TimeLeftSeconds(), c.left, 1e-9) << c.what;
  }
}

}  // namespace
}  // namespace moskvid::test
