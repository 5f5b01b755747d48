#include "component/cc_av_converter.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "binding/media_loader.h"
#include "component/log_capture.h"

namespace moskvid {

int SharedCodecThreads(int requested, int sideBySide, int cores) {
  if (requested > 0 || sideBySide <= 1) return requested;
  return std::max(1, cores / sideBySide);
}

int PassProgress(int pass, int current, int total) {
  if (pass == 0) return current;
  // Without a known length the first pass shows nothing done.
  if (total <= 0) return pass == 1 ? 0 : current;
  const int64_t done = std::clamp(current, 0, total) + (pass == 2 ? int64_t{total} : 0);
  return static_cast<int>(done / 2);
}

TCustomFFmpegVCL::TCustomFFmpegVCL(bool designing)
    : designing_(designing), mainThreadId_(CurrentThreadId()) {
  if (!designing_) RegisterComponent(this);
}

TCustomFFmpegVCL::~TCustomFFmpegVCL() {
  Shutdown();
}

void TCustomFFmpegVCL::Shutdown() {
  if (!designing_) UnregisterComponent(this);
  // Nothing is reported to a component that is going away. The hooks run
  // outside the component lock: this waits for those running now, while new
  // ones keep away so that busy hooks cannot hold it off.
  hooksClosed_ = true;
  DetachEvents();
  std::vector<std::unique_ptr<TFFmpeg>> tasks;
  {
    std::lock_guard<ReentrantLock> guard(lock_);
    tasks = tasks_.ExtractAll();
    run_.Cleared();
  }
  // Every worker and terminator ends before anything it may still use goes away.
  Dispose(std::move(tasks));
  ReapRetired();
}

void TCustomFFmpegVCL::DetachEvents() {
  {
    std::unique_lock<std::shared_mutex> hooks(hookLock_);
    OnBeforeHook = nullptr;
    OnCustomHook = nullptr;
  }
  std::lock_guard<ReentrantLock> guard(lock_);
  OnLog = nullptr;
  OnProgress = nullptr;
  OnTerminate = nullptr;
}

bool TCustomFFmpegVCL::LoadLibraries(const std::string& folder, bool versionedNames) {
  if (designing_) return true;
  if (!binding::LoadMediaLibraries(folder, versionedNames)) {
    std::lock_guard<ReentrantLock> guard(lock_);
    lastError_ = binding::MediaLoadError();
    return false;
  }
  InstallLogCapture();
  SetLibraryLogLevel(logLevel_);
  return true;
}

void TCustomFFmpegVCL::SetLogLevel(TLogLevel level) {
  logLevel_ = level;
  SetLibraryLogLevel(level);
}

void TCustomFFmpegVCL::SetProgressInterval(int milliseconds) {
  progressInterval_ = milliseconds <= 100 ? 100 : milliseconds;
}

void TCustomFFmpegVCL::SetTimerService(TTimerService service) {
  std::lock_guard<ReentrantLock> guard(lock_);
  timerService_ = std::move(service);
}

std::string TCustomFFmpegVCL::LastError() const {
  std::lock_guard<ReentrantLock> guard(lock_);
  return lastError_;
}

int TCustomFFmpegVCL::TaskCount() const {
  std::lock_guard<ReentrantLock> guard(lock_);
  return tasks_.Count();
}

TAVProbe* TCustomFFmpegVCL::TaskProbe(int index) {
  TFFmpeg* task = nullptr;
  {
    std::lock_guard<ReentrantLock> guard(lock_);
    if (index < 0 || index >= tasks_.Count()) return nullptr;
    task = &tasks_.Item(index);
  }
  // Opened outside the lock: the library log that opening writes to takes
  // the log registry's lock, which comes before ours.
  TAVProbe& probe = task->Probe;
  if (probe.StreamCount < 0 && !probe.Open(task->InputFileName(), task->InputOptions.Format)) {
    std::lock_guard<ReentrantLock> guard(lock_);
    lastError_ = probe.LastError();
  }
  return &probe;
}

bool TCustomFFmpegVCL::GetOutputOptions(int index, TOutputOptions& options) {
  std::lock_guard<ReentrantLock> guard(lock_);
  if (index < 0 || index >= tasks_.Count()) return false;
  options = tasks_.Item(index).OutputOptions;
  return true;
}

std::string TCustomFFmpegVCL::OutputWritten(int index) const {
  std::lock_guard<ReentrantLock> guard(lock_);
  if (index < 0 || index >= tasks_.Count()) return "";
  return tasks_.Item(index).WrittenOutput;
}

int TCustomFFmpegVCL::TaskPass(int index) const {
  std::lock_guard<ReentrantLock> guard(lock_);
  if (index < 0 || index >= tasks_.Count()) return 0;
  return tasks_.Item(index).Pass;
}

void TCustomFFmpegVCL::WireTask(TFFmpeg& task) {
  TFFmpeg* raw = &task;
  task.ProgressHandler = [this, raw](TCustomFFmpeg&, int frame, int fps, int current, float quality,
                                     float bitRate, int64_t size, int total) {
    DoProgress(*raw, frame, fps, PassProgress(raw->Pass, current, total), quality, bitRate, size,
               total);
  };
  task.TerminateHandler = [this, raw](TCustomFFmpeg&) { DoTerminate(raw); };
  task.StageThreadHandler = [raw](TCustomFFmpeg&, bool started) {
    raw->StageThreadID = started ? CurrentThreadId() : 0;
  };
}

int TCustomFFmpegVCL::AddInput(const std::string& fileName, const TInputOptions* options) {
  return AddTask(fileName, options, nullptr, false);
}

int TCustomFFmpegVCL::AddInput(TAVProbe& opened, const TInputOptions* options) {
  const std::string fileName = opened.FileName();
  bool formatForced = false;
  InputContextPtr context = opened.TakeUnreadContext(formatForced);
  return AddTask(fileName, options, std::move(context), formatForced);
}

int TCustomFFmpegVCL::AddTask(const std::string& fileName, const TInputOptions* options,
                              InputContextPtr opened, bool formatForced) {
  auto fail = [this](const std::string& message) {
    std::lock_guard<ReentrantLock> guard(lock_);
    lastError_ = message;
    return -1;
  };
  if (!binding::MediaLibrariesLoaded()) return fail("The media libraries are not loaded.");
  auto task = std::make_unique<TFFmpeg>();
  TFFmpeg* raw = task.get();
  raw->LogHandler = [this, raw](TCustomFFmpeg&, int level, const std::string& text) {
    DoLog(raw, level, text);
  };
  try {
    raw->ResetOptions();
    raw->Options.Verbose = logLevel_ - 1;
    SetLibraryLogLevel(logLevel_);
    if (options) {
      raw->InputOptions = *options;
      if (raw->InputOptions.FileName.empty()) raw->InputOptions.FileName = fileName;
      raw->ApplyInputOptions(raw->InputOptions);
    } else {
      raw->InputOptions = TInputOptions{};
    }
    if (opened) raw->OfferOpenedInput(std::move(opened), true, formatForced);
    if (!raw->OpenInputFile(fileName)) {
      raw->LogHandler = nullptr;
      return fail(raw->ErrorText);
    }
    // Kept open until SetOutput, which needs its streams; then closed until
    // the run opens it again.
    raw->KeepInput(fileName, options);
  } catch (const std::exception& error) {
    raw->LogHandler = nullptr;
    return fail(error.what());
  }
  WireTask(*raw);
  std::lock_guard<ReentrantLock> guard(lock_);
  run_.TaskAdded();
  return tasks_.Add(std::move(task));
}

bool TCustomFFmpegVCL::SetOutput(int index, const std::string& fileName,
                                 const TOutputOptions* options) {
  try {
    TFFmpeg* task = nullptr;
    {
      std::lock_guard<ReentrantLock> guard(lock_);
      task = &tasks_.Item(index);
    }
    if (options) {
      task->OutputOptions = *options;
      if (task->OutputOptions.FileName.empty()) task->OutputOptions.FileName = fileName;
      task->ApplyOutputOptions(task->OutputOptions);
      // With both, the before-hook picks the pictures the picture hook gets;
      // with the before-hook alone it gates the frame-hook modules.
      if (options->CustomHook) {
        task->CustomHookHandler = [this, task](TCustomFFmpeg&, TBitmap24& bitmap, int frame,
                                               int64_t pts, bool& update, bool& stop) {
          DoCustomHook(*task, bitmap, frame, pts, update, stop);
        };
      }
      if (options->BeforeHook) {
        task->BeforeHookHandler = [this, task](TCustomFFmpeg&, THookAction& action, int64_t pts) {
          DoBeforeHook(*task, action, pts);
        };
      }
    } else {
      task->OutputOptions = TOutputOptions{};
    }
    const bool opened = task->NbInputFiles() > 0 && task->OpenOutputFile(fileName);
    if (opened) task->KeepOutput(fileName, options);
    const std::string error = task->NbInputFiles() > 0 ? task->ErrorText : "No input file";
    // A queued task holds no descriptors, but for a few that keep the input
    // for their run; the run opens the rest again.
    if (opened && keptInputs_.load() < kKeptInputs) task->KeepInputOpen(keptInputs_);
    task->Release();
    if (!opened) {
      std::lock_guard<ReentrantLock> guard(lock_);
      lastError_ = error;
      return false;
    }
    JoinHeldRun(*task);
    return true;
  } catch (const std::exception& error) {
    std::lock_guard<ReentrantLock> guard(lock_);
    lastError_ = error.what();
    if (index >= 0 && index < tasks_.Count()) tasks_.Item(index).Release();
    return false;
  }
}

void TCustomFFmpegVCL::StartConvert(int threadCount) {
  ReapRetired();
  ClearPendingLogLines();
  TAfterStep after;
  {
    std::lock_guard<ReentrantLock> guard(lock_);
    runPaused_ = false;
    heldStarts_.clear();
    Carry(run_.Begin(threadCount), after);
  }
  Finish(after);
  RunQueuedTimers();
}

void TCustomFFmpegVCL::HoldRun(bool hold) {
  TAfterStep after;
  {
    std::lock_guard<ReentrantLock> guard(lock_);
    Carry(run_.Hold(hold), after);
  }
  Finish(after);
  RunQueuedTimers();
}

void TCustomFFmpegVCL::JoinHeldRun(const TFFmpeg& task) {
  TAfterStep after;
  {
    std::lock_guard<ReentrantLock> guard(lock_);
    if (task.TaskIndex >= 0) Carry(run_.Join(task.TaskIndex), after);
  }
  Finish(after);
  RunQueuedTimers();
}

void TCustomFFmpegVCL::Carry(const TRunStep& step, TAfterStep& after) {
  for (const int index : step.Starts) {
    const uint64_t serial = tasks_.Item(index).Serial;
    if (runPaused_) {
      heldStarts_.push_back(serial);
    } else if (run_.ThreadCount() > 0) {
      // Under the same hold as the choice, so that no removal comes between.
      StartTask(serial);
    } else {
      after.TimedStarts.push_back(serial);
    }
  }
  after.Timer = timerService_;
  after.RunOver = after.RunOver || step.RunOver;
  if (step.RunOver && OnTerminate) OnTerminate(-1, true, false, "");
}

void TCustomFFmpegVCL::Finish(const TAfterStep& after) {
  // The log registry's lock comes before ours, so it is taken after ours is free.
  if (after.RunOver) ClearPendingLogLines();
  for (const uint64_t serial : after.TimedStarts)
    StartFromTimer(after.Timer, serial);
}

void TCustomFFmpegVCL::StartFromTimer(const TTimerService& timer, uint64_t serial) {
  // The timer names the task by serial: removals before it fires renumber
  // the list.
  if (timer) {
    timer(100, [this, serial] { StartTask(serial); });
  } else {
    std::lock_guard<std::mutex> guard(timerLock_);
    queuedTimers_.push_back([this, serial] { StartTask(serial); });
  }
}

void TCustomFFmpegVCL::RunQueuedTimers() {
  for (;;) {
    std::function<void()> callback;
    {
      std::lock_guard<std::mutex> guard(timerLock_);
      if (queuedTimers_.empty()) return;
      callback = std::move(queuedTimers_.front());
      queuedTimers_.erase(queuedTimers_.begin());
    }
    callback();
  }
}

void TCustomFFmpegVCL::StartTask(uint64_t serial) {
  SetLibraryLogLevel(logLevel_);
  std::unique_lock<ReentrantLock> guard(lock_);
  const int index = tasks_.IndexOfSerial(serial);
  // Removed while its timer waited: its place went to the next one then.
  if (index < 0) return;
  if (runPaused_) {
    // Paused while its timer waited.
    heldStarts_.push_back(serial);
    return;
  }
  TFFmpeg* task = &tasks_.Item(index);
  task->ProgressIntervalUs = int64_t{progressInterval_} * 1000;
  task->Options.Verbose = logLevel_ - 1;
  // Tasks side by side share the cores instead of each taking one thread
  // per core; a task that runs alone keeps what was asked for.
  task->Options.ThreadCount = SharedCodecThreads(CodecThreads, run_.SideBySide(), CoreCount());
  if (OnTaskClaimed) task->AfterClaim = [this, task] { OnTaskClaimed(task->TaskIndex); };
  if (run_.ThreadCount() > 0) {
    // Under the lock, so that the task cannot be freed while it starts and a
    // stop sees it either waiting or running.
    if (!task->Start(true, ThreadPriority)) task->ThreadID = 0;
    return;
  }
  // The run happens here and reports with the lock taken as it goes; the
  // task is freed only by this thread.
  guard.unlock();
  task->ThreadID = mainThreadId_;
  task->Start(false, ThreadPriority);
}

void TCustomFFmpegVCL::StopConvert() {
  std::lock_guard<ReentrantLock> guard(lock_);
  run_.Stop();  // nothing more starts or joins; the run ends with its tasks
  // Held tasks never started: they end below like every waiting one.
  runPaused_ = false;
  heldStarts_.clear();
  for (int i = 0; i < tasks_.Count(); ++i) {
    TFFmpeg& task = tasks_.Item(i);
    if (task.Terminated) continue;
    // Every task that has not ended gets the stop, also one that a start has
    // claimed but not yet marked running.
    task.Stop();
    if (!task.Running) {
      // Reported once this lock is free; the task waits for its terminator
      // before it is freed. A start that claimed the task first makes it a
      // no-op, and the run sees the stop instead.
      task.StartTerminator();
    }
  }
}

void TCustomFFmpegVCL::PauseConvert() {
  std::lock_guard<ReentrantLock> guard(lock_);
  // Also for the task that is about to start as another one ends.
  runPaused_ = run_.Open();
  for (int i = 0; i < tasks_.Count(); ++i) {
    if (tasks_.Item(i).WorkerActive()) tasks_.Item(i).Pause();
  }
}

void TCustomFFmpegVCL::ResumeConvert() {
  std::vector<uint64_t> held;
  TTimerService timer;
  {
    std::lock_guard<ReentrantLock> guard(lock_);
    runPaused_ = false;
    for (int i = 0; i < tasks_.Count(); ++i) {
      if (tasks_.Item(i).WorkerActive()) tasks_.Item(i).Resume();
    }
    held.swap(heldStarts_);
    if (run_.ThreadCount() > 0) {
      for (uint64_t serial : held)
        StartTask(serial);
      return;
    }
    timer = timerService_;
  }
  for (uint64_t serial : held)
    StartFromTimer(timer, serial);
  if (!timer) RunQueuedTimers();
}

void TCustomFFmpegVCL::RemoveTask(int index) {
  std::vector<std::unique_ptr<TFFmpeg>> removed;
  TAfterStep after;
  {
    std::lock_guard<ReentrantLock> guard(lock_);
    if (index < 0 || index >= tasks_.Count()) {
      lastError_ = "List index out of bounds (" + std::to_string(index) + ")";
      return;
    }
    // The removed task's own end is not reported. One that was handed out
    // keeps its place in the run until its end arrives; one whose start has
    // not come yet never starts, so its place goes to the next one now.
    std::unique_ptr<TFFmpeg> task = tasks_.Extract(index);
    if (run_.TaskRemoved(index)) {
      if (task->Claimed()) {
        task->SlotRun = run_.RunNumber();
      } else {
        Carry(run_.SlotFreed(run_.RunNumber()), after);
      }
    }
    removed.push_back(std::move(task));
  }
  Finish(after);
  Dispose(std::move(removed));
  ReapRetired();
}

void TCustomFFmpegVCL::ClearTasks() {
  std::vector<std::unique_ptr<TFFmpeg>> removed;
  {
    std::lock_guard<ReentrantLock> guard(lock_);
    removed = tasks_.ExtractAll();
    lastError_.clear();
    run_.Cleared();  // a cleared list ends the run without a signal
    runPaused_ = false;
    heldStarts_.clear();
  }
  Dispose(std::move(removed));
  ReapRetired();
}

void TCustomFFmpegVCL::Dispose(std::vector<std::unique_ptr<TFFmpeg>> tasks) {
  // Stop them all first, so that they wind down side by side.
  for (auto& task : tasks)
    task->RequestStop();
  // Their threads wait for the component lock to report: with it held here,
  // or on one of those threads, waiting for them would never end.
  const bool locked = lock_.HeldByCurrentThread();
  for (auto& task : tasks) {
    if (locked || task->OnOwnThread()) {
      std::lock_guard<std::mutex> grave(graveLock_);
      retired_.push_back(std::move(task));
    }
  }
  tasks.clear();  // each joins its worker and its terminator
}

void TCustomFFmpegVCL::ReapRetired() {
  if (lock_.HeldByCurrentThread()) return;
  std::vector<std::unique_ptr<TFFmpeg>> retired;
  {
    std::lock_guard<std::mutex> grave(graveLock_);
    retired.swap(retired_);
  }
  std::vector<std::unique_ptr<TFFmpeg>> keep;
  for (auto& task : retired) {
    if (task->OnOwnThread()) keep.push_back(std::move(task));
  }
  retired.clear();  // joins their threads
  if (!keep.empty()) {
    std::lock_guard<std::mutex> grave(graveLock_);
    for (auto& task : keep)
      retired_.push_back(std::move(task));
  }
}

// The hooks take only the shared side of hookLock_: a slow hook must not hold
// up the other tasks, and a hook may call StopConvert, which takes lock_; the
// index is read under lock_, which is let go before the hook runs.
int TCustomFFmpegVCL::IndexOf(const TFFmpeg& task) const {
  std::lock_guard<ReentrantLock> guard(lock_);
  return task.TaskIndex;
}

void TCustomFFmpegVCL::DoBeforeHook(TFFmpeg& task, THookAction& action, int64_t pts) {
  if (hooksClosed_) return;
  std::shared_lock<std::shared_mutex> hooks(hookLock_);
  if (OnBeforeHook) OnBeforeHook(IndexOf(task), pts, action);
}

void TCustomFFmpegVCL::DoCustomHook(TFFmpeg& task, TBitmap24& bitmap, int frameNumber, int64_t pts,
                                    bool& update, bool& stop) {
  if (hooksClosed_) return;
  std::shared_lock<std::shared_mutex> hooks(hookLock_);
  if (OnCustomHook) OnCustomHook(IndexOf(task), bitmap, frameNumber, pts, update, stop);
}

void TCustomFFmpegVCL::DoLog(TFFmpeg* task, int level, const std::string& text) {
  std::lock_guard<ReentrantLock> guard(lock_);
  if (!OnLog) return;
  const TLogLevel mapped = level < 0 ? llQuiet : (level >= 3 ? llAll : TLogLevel(level + 1));
  OnLog(task ? task->TaskIndex : -1, mapped, text);
}

void TCustomFFmpegVCL::DoProgress(TFFmpeg& task, int frameNumber, int fps, int currentDuration,
                                  float quality, float bitRate, int64_t currentSize,
                                  int totalDuration) {
  std::lock_guard<ReentrantLock> guard(lock_);
  if (!OnProgress || task.TaskIndex < 0) return;
  OnProgress(task.TaskIndex, frameNumber, fps, currentDuration, quality, bitRate, currentSize,
             totalDuration);
}

void TCustomFFmpegVCL::DoTerminate(TFFmpeg* task) {
  TAfterStep after;
  int index = -1;
  {
    std::lock_guard<ReentrantLock> guard(lock_);
    // Written by the task's thread before it ended, which this lock orders.
    task->WrittenOutput = task->OutputResults.empty() ? "" : task->OutputResults.front().Written;
    // The report and what follows from it are one step: a task that joins
    // meanwhile sees either the ended task running or its successor.
    if (task->TaskIndex >= 0) {
      if (OnTerminate) {
        OnTerminate(task->TaskIndex, task->Finished, task->HasException, task->ExceptionMessage);
      }
      // Read again: the handler may have stopped or cleared the run.
      index = task->TaskIndex;
      if (index >= 0) Carry(run_.Ended(index), after);
    } else if (task->SlotRun != 0) {
      // Taken out of the list: it reports nothing, but its place is free.
      Carry(run_.SlotFreed(std::exchange(task->SlotRun, 0)), after);
    }
  }
  Finish(after);
  if (index >= 0 && OnTaskEnded) OnTaskEnded(index);
}

void TCustomFFmpegVCL::DeliverLibraryLine(uint32_t threadId, const TCustomFFmpeg* engine, int level,
                                          const std::string& line) {
  std::lock_guard<ReentrantLock> guard(lock_);
  if (!OnLog) return;
  TFFmpeg* owner = nullptr;
  for (int i = 0; i < tasks_.Count() && !owner; ++i) {
    TFFmpeg& task = tasks_.Item(i);
    // The engine is only compared, never followed: it may be another
    // component's task.
    if (task.Running && (task.OwnsThread(threadId) || engine == &task)) owner = &task;
  }
  DoLog(owner, level, line);
}

}  // namespace moskvid
