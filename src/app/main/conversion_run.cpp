#include "app/main/conversion_run.h"

namespace moskvid {

int TConversionRun::Begin(std::vector<int> taskMap, std::vector<std::string> outputs,
                          int setupFailures) {
  phase_ = rpRunning;
  ++number_;
  paused_ = false;
  taskMap_ = std::move(taskMap);
  outputs_ = std::move(outputs);
  tally_ = {};
  tally_.Failed = setupFailures;
  return number_;
}

void TConversionRun::Stop() {
  if (phase_ == rpRunning) phase_ = rpStopping;
  paused_ = false;
}

void TConversionRun::SetPaused(bool paused) {
  if (phase_ == rpRunning) paused_ = paused;
}

bool TConversionRun::End(int number) {
  if (!Accepts(number)) return false;
  phase_ = rpIdle;
  paused_ = false;
  return true;
}

int TConversionRun::Position(int index) const {
  return index >= 0 && index < TaskCount() ? taskMap_[static_cast<size_t>(index)] : -1;
}

std::string TConversionRun::Output(int index) const {
  return index >= 0 && index < static_cast<int>(outputs_.size())
             ? outputs_[static_cast<size_t>(index)]
             : std::string();
}

void TConversionRun::Count(TTaskOutcome outcome) {
  switch (outcome) {
    case toConverted:
      ++tally_.Converted;
      break;
    case toFailed:
      ++tally_.Failed;
      break;
    case toStopped:
      ++tally_.Stopped;
      break;
  }
}

TRunCommands TConversionRun::Commands(int entryCount) const {
  TRunCommands commands;
  const bool entries = entryCount > 0;
  switch (phase_) {
    case rpIdle:
      commands.Remove = commands.Clear = commands.Start = entries && !adding_;
      break;
    case rpRunning:
      commands.Add = false;
      commands.Stop = true;
      commands.Pause = !paused_;
      commands.Resume = paused_;
      break;
    case rpStopping:
      // Adding files clears the task list, which ends the stopped run at once.
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
