#include "app/main/conversion_run.h"

#include <algorithm>

namespace moskvid {

int TConversionRun::Prepare() {
  phase_ = rpPreparing;
  ++number_;
  paused_ = false;
  cancelled_ = false;
  taskMap_.clear();
  outputs_.clear();
  ended_.clear();
  endedCount_ = 0;
  tally_ = {};
  failureLines_.clear();
  onlyReason_.clear();
  return number_;
}

bool TConversionRun::Begin(std::vector<int> taskMap, std::vector<std::string> outputs) {
  if (phase_ != rpPreparing) return false;
  phase_ = rpRunning;
  taskMap_ = std::move(taskMap);
  outputs_ = std::move(outputs);
  ended_.assign(taskMap_.size(), false);
  endedCount_ = 0;
  return true;
}

void TConversionRun::Stop() {
  if (phase_ != rpRunning && phase_ != rpPreparing) return;
  phase_ = rpStopping;
  cancelled_ = true;
  paused_ = false;
}

void TConversionRun::SetPaused(bool paused) {
  if (phase_ == rpRunning || phase_ == rpPreparing) paused_ = paused;
}

std::optional<TRunEnd> TConversionRun::End(int number, const TRunEndChoices& choices) {
  if (!Accepts(number)) return std::nullopt;
  phase_ = rpIdle;
  paused_ = false;
  TRunEnd end;
  end.Cancelled = cancelled_;
  end.Tally = tally_;
  // A cancelled run was left by the user, who is there to see it.
  end.OpenFolder = !cancelled_ && choices.OpenFolder && tally_.Converted > 0;
  end.ShutDown = !cancelled_ && choices.ShutDown;
  if (failureLines_.size() == 1) {
    end.Message = onlyReason_;
  } else {
    const size_t shown = std::min(failureLines_.size(), static_cast<size_t>(kMaxMessageLines));
    for (size_t i = 0; i < shown; ++i)
      end.Message += (i > 0 ? "\n" : "") + failureLines_[i];
    if (shown < failureLines_.size()) {
      end.Message += "\n... and " + std::to_string(failureLines_.size() - shown) +
                     " more; the log names them all.";
    }
  }
  return end;
}

int TConversionRun::Position(int index) const {
  return index >= 0 && index < TaskCount() ? taskMap_[static_cast<size_t>(index)] : -1;
}

std::string TConversionRun::Output(int index) const {
  return index >= 0 && index < static_cast<int>(outputs_.size())
             ? outputs_[static_cast<size_t>(index)]
             : std::string();
}

void TConversionRun::Failed(const std::string& file, const std::string& reason) {
  ++tally_.Failed;
  failureLines_.push_back(file + ": " + reason);
  onlyReason_ = reason;
}

void TConversionRun::SetUpFailed(const std::string& file, const std::string& reason) {
  Failed(file, reason);
}

bool TConversionRun::TaskEnded(int index, TTaskOutcome outcome, const std::string& file,
                               const std::string& reason) {
  if (index < 0 || index >= TaskCount() || ended_[static_cast<size_t>(index)]) return false;
  ended_[static_cast<size_t>(index)] = true;
  ++endedCount_;
  switch (outcome) {
    case toConverted:
      ++tally_.Converted;
      break;
    case toFailed:
      Failed(file, reason);
      break;
    case toStopped:
      ++tally_.Stopped;
      break;
  }
  return endedCount_ == TaskCount();
}

bool TConversionRun::Ended(int index) const {
  return index >= 0 && index < TaskCount() && ended_[static_cast<size_t>(index)];
}

TRunCommands TConversionRun::Commands(int entryCount) const {
  TRunCommands commands;
  const bool entries = entryCount > 0;
  switch (phase_) {
    case rpIdle:
      commands.Remove = commands.Clear = commands.Start = entries && !adding_;
      break;
    case rpPreparing:
    case rpRunning:
      commands.Add = false;
      commands.Stop = true;
      commands.Pause = !paused_;
      commands.Resume = paused_;
      break;
    case rpStopping:
      // Files may be added while the tasks wind down; their ends still come.
      break;
  }
  return commands;
}

std::string RunTallyText(const TRunTally& tally) {
  std::string text = std::to_string(tally.Converted) +
                     (tally.Converted == 1 ? " file converted" : " files converted");
  if (tally.Failed > 0) text += ", " + std::to_string(tally.Failed) + " failed";
  if (tally.Stopped > 0) text += ", " + std::to_string(tally.Stopped) + " stopped";
  return text + ".";
}

}  // namespace moskvid
