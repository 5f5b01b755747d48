// The bookkeeping of the component's run: which listed task starts next, how
// many run, and when the run is over. It neither starts threads nor knows the
// engine; the component calls it under its lock, and each call is one whole
// step, so that no other step can come between an end and what follows it.
#pragma once

#include <cstdint>
#include <vector>

namespace moskvid {

// What the run does after a step: the list positions to start now, in order,
// and whether the run is over (the end-of-run signal is due, once).
struct TRunStep {
  std::vector<int> Starts;
  bool RunOver = false;
};

class TRunScheduler {
 public:
  // The list as the run sees it, kept in step with the component's list. An
  // added task stays outside the run until it joins or a run begins.
  void TaskAdded();
  // The task at `index` leaves the list. True when it was handed out and has
  // not ended: its place stays taken until SlotFreed.
  bool TaskRemoved(int index);
  // The list is emptied: any run is over, without a signal.
  void Cleared();

  // A run of every listed task that has not ended, `threadCount` at a time
  // (0 or less: one at a time).
  TRunStep Begin(int threadCount);
  // A held run stays open when its tasks are done and takes the tasks that
  // join; letting go ends it once nothing is left.
  TRunStep Hold(bool hold);
  // The task at `index` is ready to run: it joins an open held run.
  TRunStep Join(int index);
  // The task at `index` ended: it ran, failed, or was stopped before it ran.
  TRunStep Ended(int index);
  // A task taken out of the list while it had a place in run `run` (the
  // RunNumber of its removal) ended, or will never start.
  TRunStep SlotFreed(uint64_t run);
  // Nothing starts or joins any more; every listed task that has not ended
  // is being ended by the component and belongs to the run's end.
  void Stop();

  // Next to how many tasks a task starting now runs, itself included. A held
  // run fills up to its thread count whatever is listed so far.
  int SideBySide() const;
  // The position of the next task to start, or -1.
  int NextTask() const;
  bool MayStart() const;
  bool RunOver() const;
  int Pending() const { return pending_; }
  int Running() const { return running_; }
  int Finished() const { return finished_; }
  int ThreadCount() const { return threadCount_; }
  bool Open() const { return open_; }
  bool Held() const { return held_; }
  // Changes at every Begin and Cleared, so that a late word of an earlier
  // run's task changes nothing.
  uint64_t RunNumber() const { return run_; }

 private:
  enum class State : uint8_t { Outside, Waiting, Running, Ended };
  void Set(int index, State to);
  void Count(State state, int delta);
  // Hands out what may start and closes the run when it is over.
  TRunStep Fill();
  int Capacity() const { return threadCount_ > 0 ? threadCount_ : 1; }
  bool Listed(int index) const { return index >= 0 && index < static_cast<int>(tasks_.size()); }

  std::vector<State> tasks_;  // one for each listed task, in list order
  int pending_ = 0;           // waiting to start
  int running_ = 0;           // handed out and not ended, removed ones included
  int finished_ = 0;          // ended
  int threadCount_ = 0;
  bool open_ = false;  // from Begin until the run is over
  bool held_ = false;
  bool stopped_ = false;
  uint64_t run_ = 0;
};

}  // namespace moskvid
