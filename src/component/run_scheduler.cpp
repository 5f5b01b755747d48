#include "component/run_scheduler.h"

#include <algorithm>

namespace moskvid {

void TRunScheduler::Count(State state, int delta) {
  switch (state) {
    case State::Waiting:
      pending_ += delta;
      break;
    case State::Running:
      running_ += delta;
      break;
    case State::Ended:
      finished_ += delta;
      break;
    case State::Outside:
      break;
  }
}

void TRunScheduler::Set(int index, State to) {
  State& state = tasks_[static_cast<size_t>(index)];
  Count(state, -1);
  Count(to, 1);
  state = to;
}

void TRunScheduler::TaskAdded() {
  tasks_.push_back(State::Outside);
}

bool TRunScheduler::TaskRemoved(int index) {
  if (!Listed(index)) return false;
  const State state = tasks_[static_cast<size_t>(index)];
  // A running task's place is not free before its worker has ended.
  if (state != State::Running) Count(state, -1);
  tasks_.erase(tasks_.begin() + index);
  return state == State::Running;
}

void TRunScheduler::Cleared() {
  const uint64_t run = run_ + 1;
  *this = TRunScheduler();
  run_ = run;
}

TRunStep TRunScheduler::Begin(int threadCount) {
  ++run_;
  threadCount_ = threadCount;
  stopped_ = false;
  // Places taken by tasks removed from an earlier run are not this run's.
  running_ = 0;
  for (State& state : tasks_) {
    if (state == State::Outside) {
      state = State::Waiting;
      ++pending_;
    }
    running_ += state == State::Running;
  }
  open_ = pending_ > 0 || running_ > 0 || held_;
  return Fill();
}

TRunStep TRunScheduler::Hold(bool hold) {
  held_ = hold;
  return Fill();
}

TRunStep TRunScheduler::Join(int index) {
  if (!open_ || !held_ || stopped_ || !Listed(index)) return {};
  if (tasks_[static_cast<size_t>(index)] != State::Outside) return {};
  Set(index, State::Waiting);
  return Fill();
}

TRunStep TRunScheduler::Ended(int index) {
  if (!Listed(index) || tasks_[static_cast<size_t>(index)] == State::Ended) return {};
  Set(index, State::Ended);
  return Fill();
}

TRunStep TRunScheduler::SlotFreed(uint64_t run) {
  if (run != run_ || running_ <= 0) return {};
  --running_;
  return Fill();
}

void TRunScheduler::Stop() {
  held_ = false;
  stopped_ = true;
  if (!open_) return;
  // The stop ends every task that has not ended, those that never joined too,
  // and each reports its end before the run's.
  for (size_t i = 0; i < tasks_.size(); ++i) {
    if (tasks_[i] == State::Outside) Set(static_cast<int>(i), State::Waiting);
  }
}

int TRunScheduler::SideBySide() const {
  return held_ ? Capacity() : std::min(Capacity(), pending_ + running_);
}

int TRunScheduler::NextTask() const {
  const auto next = std::find(tasks_.begin(), tasks_.end(), State::Waiting);
  return next == tasks_.end() ? -1 : static_cast<int>(next - tasks_.begin());
}

bool TRunScheduler::MayStart() const {
  return open_ && !stopped_ && pending_ > 0 && running_ < Capacity();
}

bool TRunScheduler::RunOver() const {
  return open_ && !held_ && pending_ == 0 && running_ == 0;
}

TRunStep TRunScheduler::Fill() {
  TRunStep step;
  while (MayStart()) {
    const int next = NextTask();
    Set(next, State::Running);
    step.Starts.push_back(next);
  }
  if (RunOver()) {
    open_ = false;
    step.RunOver = true;
  }
  return step;
}

}  // namespace moskvid
