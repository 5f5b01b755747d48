// The progress of a whole run of tasks, several of which may convert at the
// same time: the run's share converted, the tasks done and one line per
// running task. Shared by the progress window and the command line.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace moskvid {

class TRunProgress {
 public:
  // One name per task, with the length each is expected to convert in
  // milliseconds (-1 unknown) until the task reports its own.
  void Begin(std::vector<std::string> names, std::vector<int> expectedMs);
  void TaskStarted(int task, double nowSeconds);
  // Tasks start in list order: the next one that has neither started nor
  // ended starts now; its index, or -1 when none is left.
  int StartNext(double nowSeconds);
  void TaskProgress(int task, int currentMs, int totalMs, int frameNumber, double nowSeconds);
  // A task ended, whole or not: it counts as done and leaves the lines.
  void TaskEnded(int task);
  // The run pauses or goes on; paused time is left out of the run's rate.
  void SetPaused(bool paused, double nowSeconds);

  int Count() const { return static_cast<int>(tasks_.size()); }
  const std::string& Name(int task) const { return tasks_.at(static_cast<size_t>(task)).Name; }
  int Done() const { return done_; }
  // Whole percent of the run's length converted, 0 to 100; ended tasks count
  // with their whole length.
  int RunPercent() const;
  // "[3/12]": the tasks done of all.
  std::string DoneText() const;
  // The running tasks, in the order they started.
  const std::vector<int>& Running() const { return running_; }
  // Percent of one task's length converted, -1 unknown.
  int TaskPercent(int task) const;
  // "name  45%  3.2x" (speed: media time per wall time, once known).
  std::string TaskLine(int task) const;
  // Pictures per second since the task started, from its own clock; 0 before
  // its first picture, -1 for a task without pictures.
  double TaskFps(int task) const;
  double TaskSpeed(int task) const;
  double TaskElapsed(int task) const;
  // Seconds the run has left as of the last report: the length the tasks
  // still have to convert (those not started with their expected length)
  // over the media time the run converted per second lately, all tasks
  // together. -1 while there is no rate yet, or while a task left has no
  // known length.
  double TimeLeftSeconds() const;

 private:
  struct Task {
    std::string Name;
    int ExpectedMs = -1;
    int CurrentMs = 0;
    int TotalMs = -1;
    int Frame = -1;
    double Started = 0;
    double Elapsed = 0;
    bool Ended = false;
    bool Began = false;
  };
  // Unpaused time and the media converted by then, for the run's rate.
  struct Sample {
    double Seconds = 0;
    int64_t ConvertedMs = 0;
  };
  bool Valid(int task) const { return task >= 0 && task < Count(); }
  int LengthOf(const Task& task) const;
  double Unpaused(double nowSeconds) const;
  void Measure(double nowSeconds);

  std::vector<Task> tasks_;
  std::vector<int> running_;
  int done_ = 0;
  int nextStart_ = 0;           // no task before it is left to start
  int64_t convertedMs_ = 0;     // by all the tasks, ended ones too
  std::deque<Sample> samples_;  // a second apart at least, the oldest first
  Sample latest_;
  bool paused_ = false;
  double pausedAt_ = 0;
  double pausedSeconds_ = 0;  // of the pauses that are over
};

}  // namespace moskvid
