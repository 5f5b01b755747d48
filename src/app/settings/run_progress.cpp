#include "app/settings/run_progress.h"

#include <algorithm>
#include <cstdio>

namespace moskvid {

namespace {

// The run's rate is measured over its last minute of unpaused time: long
// enough to even out scenes and tasks opening, short enough to follow the
// run when fewer tasks are left than ran at once or the files change in
// kind, which an average over the whole run would hide.
constexpr double kRateWindowSeconds = 60;
constexpr double kSampleStepSeconds = 1;
// The first reports mostly carry the files' opening, not the run's pace.
constexpr double kRateLeastSeconds = 2;

}  // namespace

void TRunProgress::Begin(std::vector<std::string> names, std::vector<int> expectedMs) {
  tasks_.clear();
  running_.clear();
  done_ = 0;
  nextStart_ = 0;
  convertedMs_ = 0;
  samples_.clear();
  latest_ = Sample();
  paused_ = false;
  pausedSeconds_ = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    Task task;
    task.Name = std::move(names[i]);
    task.ExpectedMs = i < expectedMs.size() ? expectedMs[i] : -1;
    tasks_.push_back(std::move(task));
  }
}

void TRunProgress::TaskStarted(int task, double nowSeconds) {
  if (!Valid(task) || tasks_[task].Ended) return;
  Task& t = tasks_[task];
  t.Started = nowSeconds;
  t.Elapsed = 0;
  t.Began = true;
  if (samples_.empty()) Measure(nowSeconds);  // the rate's origin
  if (std::find(running_.begin(), running_.end(), task) == running_.end()) running_.push_back(task);
}

int TRunProgress::StartNext(double nowSeconds) {
  for (; nextStart_ < Count(); ++nextStart_) {
    if (!tasks_[nextStart_].Began && !tasks_[nextStart_].Ended) {
      TaskStarted(nextStart_, nowSeconds);
      return nextStart_++;
    }
  }
  return -1;
}

void TRunProgress::TaskProgress(int task, int currentMs, int totalMs, int frameNumber,
                                double nowSeconds) {
  if (!Valid(task) || tasks_[task].Ended) return;
  Task& t = tasks_[task];
  const int converted = std::max(currentMs, 0);
  convertedMs_ += converted - t.CurrentMs;
  t.CurrentMs = converted;
  if (totalMs > 0) t.TotalMs = totalMs;
  t.Frame = frameNumber;
  t.Elapsed = nowSeconds - t.Started;
  Measure(nowSeconds);
}

void TRunProgress::TaskEnded(int task) {
  if (!Valid(task) || tasks_[task].Ended) return;
  tasks_[task].Ended = true;
  // Only waiting and running tasks show their names: a long run keeps none
  // of the ended ones.
  std::string().swap(tasks_[task].Name);
  ++done_;
  running_.erase(std::remove(running_.begin(), running_.end(), task), running_.end());
}

void TRunProgress::SetPaused(bool paused, double nowSeconds) {
  if (paused == paused_) return;  // the window and the main window both tell
  if (paused)
    pausedAt_ = nowSeconds;
  else
    pausedSeconds_ += nowSeconds - pausedAt_;
  paused_ = paused;
}

double TRunProgress::Unpaused(double nowSeconds) const {
  return (paused_ ? pausedAt_ : nowSeconds) - pausedSeconds_;
}

void TRunProgress::Measure(double nowSeconds) {
  latest_ = {Unpaused(nowSeconds), convertedMs_};
  if (samples_.empty() || latest_.Seconds - samples_.back().Seconds >= kSampleStepSeconds)
    samples_.push_back(latest_);
  // The newest sample at or before the window's start is the rate's base.
  while (samples_.size() > 1 && samples_[1].Seconds <= latest_.Seconds - kRateWindowSeconds)
    samples_.pop_front();
}

double TRunProgress::TimeLeftSeconds() const {
  if (samples_.empty()) return -1;
  const double seconds = latest_.Seconds - samples_.front().Seconds;
  const double convertedMs =
      static_cast<double>(latest_.ConvertedMs - samples_.front().ConvertedMs);
  if (seconds < kRateLeastSeconds || convertedMs <= 0) return -1;
  double leftMs = 0;
  for (const Task& task : tasks_) {
    if (task.Ended) continue;
    const int length = task.TotalMs > 0 ? task.TotalMs : task.ExpectedMs;
    if (length < 0) return -1;  // what is left cannot be told
    leftMs += std::max(length - task.CurrentMs, 0);
  }
  return leftMs * seconds / convertedMs;
}

int TRunProgress::LengthOf(const Task& task) const {
  return task.TotalMs > 0 ? task.TotalMs : std::max(task.ExpectedMs, 0);
}

int TRunProgress::RunPercent() const {
  // The run's length is the tasks' lengths added up; a task of unknown
  // length counts as its part of the tasks only once it ends.
  double length = 0, converted = 0;
  for (const Task& task : tasks_) {
    const int taskLength = LengthOf(task);
    length += taskLength;
    converted += task.Ended ? taskLength : std::min(task.CurrentMs, taskLength);
  }
  if (length <= 0) return Count() > 0 ? done_ * 100 / Count() : 0;
  return std::clamp(static_cast<int>(converted * 100 / length), 0, 100);
}

std::string TRunProgress::DoneText() const {
  return "[" + std::to_string(done_) + "/" + std::to_string(Count()) + "]";
}

int TRunProgress::TaskPercent(int task) const {
  if (!Valid(task) || tasks_[task].TotalMs <= 0) return -1;
  const Task& t = tasks_[task];
  return std::clamp(static_cast<int>(int64_t{t.CurrentMs} * 100 / t.TotalMs), 0, 100);
}

double TRunProgress::TaskElapsed(int task) const {
  return Valid(task) ? tasks_[task].Elapsed : 0;
}

double TRunProgress::TaskSpeed(int task) const {
  if (!Valid(task) || tasks_[task].Elapsed <= 0) return 0;
  return tasks_[task].CurrentMs / 1000.0 / tasks_[task].Elapsed;
}

double TRunProgress::TaskFps(int task) const {
  if (!Valid(task)) return 0;
  const Task& t = tasks_[task];
  if (t.Frame < 0) return -1;
  return t.Elapsed > 0 ? t.Frame / t.Elapsed : 0;
}

std::string TRunProgress::TaskLine(int task) const {
  if (!Valid(task)) return "";
  std::string line = tasks_[task].Name;
  const int percent = TaskPercent(task);
  if (percent >= 0) line += "  " + std::to_string(percent) + "%";
  if (TaskSpeed(task) > 0) {
    char speed[32];
    std::snprintf(speed, sizeof speed, "  %.1fx", TaskSpeed(task));
    line += speed;
  }
  return line;
}

}  // namespace moskvid
