// The conversion run as the main window keeps it, free of window code: its
// number, its phase (idle, running, stopping), its tasks and how they
// ended. Every event a run raises carries the run's number; the window
// drops an event whose run is over, so that a late event of a cancelled
// run can never touch the next one. The commands the window offers follow
// from the phase alone.
#pragma once

#include <string>
#include <vector>

namespace moskvid {

enum TRunPhase {
  rpIdle,      // no run: Start builds one
  rpRunning,   // tasks convert, or wait their turn
  rpStopping,  // cancelled: the tasks wind down, the run's end is still to come
};

enum TTaskOutcome { toConverted, toFailed, toStopped };

struct TRunTally {
  int Converted = 0, Failed = 0, Stopped = 0;
};

// What the main window offers, in one place.
struct TRunCommands {
  bool Add = true, Remove = false, Clear = false, Start = false;
  bool Stop = false, Pause = false, Resume = false;
};

class TConversionRun {
 public:
  // The next run, with its tasks (element k: the list position of task k)
  // and their outputs; `setupFailures` entries got no task and count as
  // failed. Returns the run's number, which no earlier run had.
  int Begin(std::vector<int> taskMap, std::vector<std::string> outputs, int setupFailures = 0);
  // Cancel or Stop: the tasks wind down; the run's end still has to come.
  void Stop();
  void SetPaused(bool paused);
  // Files are being added: no Start, Remove or Clear meanwhile.
  void SetAdding(bool adding) { adding_ = adding; }
  bool Adding() const { return adding_; }
  // Run `number` is over (its end-of-run event, or its task list cleared):
  // back to idle. False when that run is not the one going on.
  bool End(int number);
  // Whether an event of run `number` belongs to the run going on.
  bool Accepts(int number) const { return phase_ != rpIdle && number == number_; }

  TRunPhase Phase() const { return phase_; }
  int Number() const { return number_; }
  bool Paused() const { return paused_; }
  int TaskCount() const { return static_cast<int>(taskMap_.size()); }
  const std::vector<int>& TaskMap() const { return taskMap_; }
  // The list position and the output of task `index`; -1 and "" outside the run.
  int Position(int index) const;
  std::string Output(int index) const;
  bool IsLast(int index) const { return index + 1 == TaskCount(); }

  // A task's end, as its event tells it.
  void Count(TTaskOutcome outcome);
  const TRunTally& Tally() const { return tally_; }

  TRunCommands Commands(int entryCount) const;

 private:
  TRunPhase phase_ = rpIdle;
  int number_ = 0;
  bool paused_ = false;
  bool adding_ = false;
  std::vector<int> taskMap_;
  std::vector<std::string> outputs_;
  TRunTally tally_;
};

// "2 files converted, 1 failed, 1 stopped." (the zero counts left out, but
// never the converted one).
std::string RunTallyText(const TRunTally& tally);

}  // namespace moskvid
