// The converter component: the task list, the run control on worker threads
// and the five events. The application talks to the engine only through it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "component/av_probe.h"
#include "component/ffmpeg_task.h"
#include "component/reentrant_lock.h"
#include "component/run_scheduler.h"

namespace moskvid {

// Codec threads for each of `sideBySide` tasks running at the same time:
// what was asked for (`requested` above 0), or with 0 (one per core) the
// cores shared out among the tasks.
int SharedCodecThreads(int requested, int sideBySide, int cores);

// The length converted so far of a task in `pass` (0 for a task of one pass)
// of two, `current` of `total` done in that pass: each pass is half the work.
int PassProgress(int pass, int current, int total);

class TCustomFFmpegVCL {
 public:
  // Events. They are raised on the thread that runs the task (a worker, or
  // the calling thread in single-thread mode); a receiver that touches the
  // user interface hands the work to its own thread. Handlers must not call
  // back into the component, other than StopConvert, PauseConvert,
  // ResumeConvert, OutputWritten and TaskPass.
  using TBeforeHookEvent = std::function<void(int AIndex, int64_t APTS, THookAction& AHookAction)>;
  using TCustomHookEvent = std::function<void(int AIndex, TBitmap24& ABitmap, int AFrameNumber,
                                              int64_t APTS, bool& AUpdate, bool& AStopHook)>;
  using TLogEvent = std::function<void(int AIndex, TLogLevel ALogLevel, const std::string& AMsg)>;
  using TProgressEvent = std::function<void(int AIndex, int AFrameNumber, int AFPS,
                                            int ACurrentDuration, float AQuality, float ABitRate,
                                            int64_t ACurrentSize, int ATotalOutputDuration)>;
  using TTerminateEvent =
      std::function<void(int AIndex, bool AFinished, bool AException, const std::string& AMessage)>;
  // Runs `callback` once, `milliseconds` later, on the thread that owns the
  // component (the window thread of an application).
  using TTimerService = std::function<void(int milliseconds, std::function<void()> callback)>;

  explicit TCustomFFmpegVCL(bool designing = false);
  virtual ~TCustomFFmpegVCL();
  TCustomFFmpegVCL(const TCustomFFmpegVCL&) = delete;
  TCustomFFmpegVCL& operator=(const TCustomFFmpegVCL&) = delete;

  bool LoadLibraries(const std::string& folder, bool versionedNames);
  // Creates a task and opens its input; the task index, or -1 with LastError().
  int AddInput(const std::string& fileName, const TInputOptions* options = nullptr);
  // The same for the file `opened` has open: the task runs from the input
  // the probe opened, when the options would open it the same way, rather
  // than reading the file's streams again. The probe is closed after.
  int AddInput(TAVProbe& opened, const TInputOptions* options = nullptr);
  bool SetOutput(int index, const std::string& fileName, const TOutputOptions* options = nullptr);
  // Runs the tasks, `threadCount` at a time on worker threads; 0 or less runs
  // them one after another on this thread, each started by the timer service.
  void StartConvert(int threadCount);
  // While a run is held it stays open when its tasks are done, and each
  // task completed by SetOutput joins it, so that a caller can add tasks
  // just before they run. Letting go ends a run that has nothing left.
  void HoldRun(bool hold);
  void StopConvert();
  void PauseConvert();
  void ResumeConvert();
  void RemoveTask(int index);
  void ClearTasks();
  int TaskCount() const;
  // The task's probe, opened on its input by itself (never the file the
  // task's worker reads); from the application's thread only.
  TAVProbe* TaskProbe(int index);
  bool GetOutputOptions(int index, TOutputOptions& options);
  // The file the task's output went to once the task ended: its own name, a
  // numbered one when that was taken, the failed name, or "" when nothing
  // was kept. May be called from OnTerminate.
  std::string OutputWritten(int index) const;
  // The pass the task runs (1 or 2) when it encodes twice, else 0. May be
  // called from OnProgress, where it is the pass that reported.
  int TaskPass(int index) const;
  std::string LastError() const;
  TAVProbe& Probe() { return probe_; }

  std::string About;
  TLogLevel LogLevel() const { return logLevel_; }
  void SetLogLevel(TLogLevel level);
  int ProgressInterval() const { return progressInterval_; }
  void SetProgressInterval(int milliseconds);
  TConvertPriority ThreadPriority = tpNormal;
  // Codec threads of each task: 0 lets the libraries use one per core, or
  // shares the cores out among the tasks that run side by side.
  int CodecThreads = 0;
  static std::string Version() { return "2.2a"; }
  // Queued tasks that keep the input they were checked with open, for their
  // run; at most kKeptInputs, so that a long list holds no descriptors.
  static constexpr int kKeptInputs = 8;
  void SetTimerService(TTimerService service);
  uint32_t MainThreadID() const { return mainThreadId_; }

  // Takes the five handlers away, waiting for those running now; afterwards
  // none is called. Never from an event handler.
  void DetachEvents();

  // Set while no task runs. The component reads the two hooks under
  // hookLock_ and the other three under lock_, and Shutdown clears them so.
  TBeforeHookEvent OnBeforeHook;
  TCustomHookEvent OnCustomHook;
  TLogEvent OnLog;
  TProgressEvent OnProgress;
  TTerminateEvent OnTerminate;

  // Runs with the task index right after a start has claimed a task and
  // before it runs, on the starting thread; lets tests act in that window.
  std::function<void(int AIndex)> OnTaskClaimed;
  // Runs with the index a task ended with, after its OnTerminate and after
  // the run went on from its end, on that thread with no lock held; lets
  // tests act there.
  std::function<void(int AIndex)> OnTaskEnded;

  // Used by the library log capture: a line logged on `threadId`, by a codec
  // of `engine` when that is known (a codec's own threads belong to no task).
  void DeliverLibraryLine(uint32_t threadId, const TCustomFFmpeg* engine, int level,
                          const std::string& line);

 protected:
  // Takes the handlers away, stops every task and waits for every thread of
  // the tasks; once it returns no handler runs. A derived component calls it
  // first in its destructor, while its event operations still exist. Never
  // from an event handler.
  void Shutdown();

  virtual void DoBeforeHook(TFFmpeg& task, THookAction& action, int64_t pts);
  virtual void DoCustomHook(TFFmpeg& task, TBitmap24& bitmap, int frameNumber, int64_t pts,
                            bool& update, bool& stop);
  virtual void DoLog(TFFmpeg* task, int level, const std::string& text);
  virtual void DoProgress(TFFmpeg& task, int frameNumber, int fps, int currentDuration,
                          float quality, float bitRate, int64_t currentSize, int totalDuration);
  virtual void DoTerminate(TFFmpeg* task);

 private:
  // What a step of the run leaves for after lock_ is let go.
  struct TAfterStep {
    std::vector<uint64_t> TimedStarts;  // serials, in single-thread mode
    TTimerService Timer;
    bool RunOver = false;
  };
  // Makes the starts a step of the run hands out and raises the end-of-run
  // signal; called with lock_ held, in the same hold as the step.
  void Carry(const TRunStep& step, TAfterStep& after);
  // The rest of a step, once lock_ is free.
  void Finish(const TAfterStep& after);
  // Starts the task with the serial number, when it is still in the list.
  void StartTask(uint64_t serial);
  // Has the timer service (or, without one, the queue StartConvert runs)
  // start the task.
  void StartFromTimer(const TTimerService& timer, uint64_t serial);
  // Stops and frees tasks already taken out of the list, after their workers
  // and terminators are done. Tasks whose threads this one cannot wait for
  // (it is one of them, or it holds lock_) are retired instead.
  void Dispose(std::vector<std::unique_ptr<TFFmpeg>> tasks);
  // Frees the retired tasks whose threads can now be waited for.
  void ReapRetired();
  void RunQueuedTimers();
  void WireTask(TFFmpeg& task);
  int AddTask(const std::string& fileName, const TInputOptions* options, InputContextPtr opened,
              bool formatForced);
  // A task SetOutput completed joins a held run, starting at once when the
  // run has room.
  void JoinHeldRun(const TFFmpeg& task);
  // The task's index, read under lock_ (a removal renumbers it there).
  int IndexOf(const TFFmpeg& task) const;

  const bool designing_;
  const uint32_t mainThreadId_;
  TLogLevel logLevel_ = llInfo;
  int progressInterval_ = 500;
  TAVProbe probe_;
  std::atomic<int> keptInputs_{0};

  // --- Protected by lock_.
  mutable ReentrantLock lock_;
  TFFmpegList tasks_;
  std::string lastError_;
  TRunScheduler run_;  // kept in step with tasks_
  // Between PauseConvert and ResumeConvert no task starts: the starts that
  // come due are held here (by serial) and made on resume.
  bool runPaused_ = false;
  std::vector<uint64_t> heldStarts_;
  TTimerService timerService_;

  // --- Protected by graveLock_: removed tasks whose threads still have to
  // be joined.
  std::mutex graveLock_;
  std::vector<std::unique_ptr<TFFmpeg>> retired_;

  // Held shared around each call of OnBeforeHook and OnCustomHook and
  // exclusively while they are taken away; never taken with lock_ held.
  std::shared_mutex hookLock_;
  std::atomic<bool> hooksClosed_{false};  // set once, by Shutdown

  // Timer callbacks waiting when no timer service is installed; guarded by
  // timerLock_.
  std::mutex timerLock_;
  std::vector<std::function<void()>> queuedTimers_;
};

// The component as the application uses it.
class TCCAVConverter : public TCustomFFmpegVCL {
 public:
  using TCustomFFmpegVCL::TCustomFFmpegVCL;
  ~TCCAVConverter() override { Shutdown(); }
};

}  // namespace moskvid
