// The conversion run as the main window keeps it, free of window code: its
// number, its phase (idle, preparing, running, stopping), its tasks, how
// they ended, and what the run's end does. Every event a run raises carries
// the run's number; the window drops an event whose run is over, so that a
// late event of a cancelled run can never touch the next one. The commands
// the window offers follow from the phase alone.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace moskvid {

enum TRunPhase {
  rpIdle,       // no run: Start builds one
  rpPreparing,  // the tasks are being set up, off the window thread
  rpRunning,    // tasks convert, or wait their turn
  rpStopping,   // cancelled: the tasks wind down, the run's end is still to come
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

// What the progress window's boxes asked for at the run's end.
struct TRunEndChoices {
  bool OpenFolder = false;
  bool ShutDown = false;
};

// What the end of a run does, once the list is written.
struct TRunEnd {
  bool Cancelled = false;
  bool OpenFolder = false;
  bool ShutDown = false;
  TRunTally Tally;
  // The failures in one message ("" none): one reason alone, or a line per
  // file, the first kMaxMessageLines of them.
  std::string Message;
};

class TConversionRun {
 public:
  static constexpr int kMaxMessageLines = 20;

  // Start: the tasks are set up from now on. Returns the run's number,
  // which no earlier run had.
  int Prepare();
  // The set-up is done: the run's tasks (element k: the list position of
  // task k) and their outputs start. False when the run was stopped
  // meanwhile; it then only waits for its end.
  bool Begin(std::vector<int> taskMap, std::vector<std::string> outputs);
  // Cancel or Stop: the tasks wind down; the run's end still has to come.
  void Stop();
  void SetPaused(bool paused);
  // Files are being added: no Start, Remove or Clear meanwhile.
  void SetAdding(bool adding) { adding_ = adding; }
  bool Adding() const { return adding_; }
  // Run `number` is over (its end-of-run event, or its set-up came back
  // with nothing to run): back to idle, with what its end does. Nothing
  // when that run is not the one going on.
  std::optional<TRunEnd> End(int number, const TRunEndChoices& choices);
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

  // A source that got no task at set-up: `file` failed for `reason`.
  void SetUpFailed(const std::string& file, const std::string& reason);
  // Task `index` ended so (`file` and `reason` name a failure). A task's
  // second end counts nothing. True when every task of the run has ended.
  bool TaskEnded(int index, TTaskOutcome outcome, const std::string& file = "",
                 const std::string& reason = "");
  bool Ended(int index) const;
  const TRunTally& Tally() const { return tally_; }
  // "NAME: reason" of each failure so far, in the order they came.
  const std::vector<std::string>& FailureLines() const { return failureLines_; }

  TRunCommands Commands(int entryCount) const;

 private:
  void Failed(const std::string& file, const std::string& reason);

  TRunPhase phase_ = rpIdle;
  int number_ = 0;
  bool paused_ = false;
  bool adding_ = false;
  bool cancelled_ = false;
  std::vector<int> taskMap_;
  std::vector<std::string> outputs_;
  std::vector<bool> ended_;
  int endedCount_ = 0;
  TRunTally tally_;
  std::vector<std::string> failureLines_;
  std::string onlyReason_;  // the reason, when one failure is all there is
};

// "2 files converted, 1 failed, 1 stopped." (the zero counts left out, but
// never the converted one).
std::string RunTallyText(const TRunTally& tally);

}  // namespace moskvid
