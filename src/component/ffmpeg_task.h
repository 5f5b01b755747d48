// TFFmpeg: one conversion task of the component (an engine with the task's
// bookkeeping), and TFFmpegList, the component's owning task list.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "component/av_probe.h"
#include "engine/custom_ffmpeg.h"

namespace moskvid {

enum TLogLevel { llQuiet, llError, llInfo, llDebug, llAll };
enum TConvertPriority { tpIdle, tpLowest, tpLower, tpNormal };

// The kernel id of the calling thread.
uint32_t CurrentThreadId();

class TFFmpeg : public TCustomFFmpeg {
 public:
  TFFmpeg();
  // Stops a running conversion and waits for its worker and its terminator
  // before anything is freed.
  ~TFFmpeg() override;

  // Starts the run. In thread mode a worker thread with `priority` runs the
  // conversion and true is returned; otherwise the conversion runs here and
  // false is returned. False at once, without running, when the task already
  // ran or runs. A task without input or output reports its termination as a
  // failure (from the worker in thread mode) instead of running. In thread
  // mode nothing is reported on the calling thread, so a caller may hold the
  // component lock.
  bool Start(bool inThread, TConvertPriority priority);

  // A stop that holds for the rest of the task's life, whatever state the
  // start is in: reopening the files at the start resets the engine's flag.
  void Stop();

  // The input and output the run opens again when it starts. A queued task
  // keeps no file open, so a long batch stays within the descriptor limit,
  // except the few that keep the input they were checked with (counted in
  // `kept`) for the run to take.
  void KeepInput(const std::string& fileName, const TInputOptions* options);
  void KeepOutput(const std::string& fileName, const TOutputOptions* options);
  void KeepInputOpen(std::atomic<int>& kept);
  bool HasKeptOutput() const { return !outputName_.empty(); }
  const std::string& InputFileName() const { return inputName_; }

  // The first caller wins: either the start or a stop that ends a task which
  // never started. Makes sure a task terminates exactly once.
  bool Claim() { return !claimed_.exchange(true); }
  bool Claimed() const { return claimed_.load(); }
  // Runs right after a start has claimed the task and before it runs, on
  // the starting thread (tests put a stop there).
  std::function<void()> AfterClaim;

  // Ends a task that never started, reporting it from a thread of its own:
  // the report takes the component lock, which the caller holds. Does
  // nothing when a start or an earlier call came first.
  void StartTerminator();

  // True while a worker thread exists that has not finished its run.
  bool WorkerActive() const { return workerActive_.load(); }
  bool OnWorkerThread() const { return workerId_.load() == std::this_thread::get_id(); }
  // True on the worker or the terminator: freeing the task there would
  // free what the thread itself still runs in.
  bool OnOwnThread() const {
    return OnWorkerThread() || terminator_.get_id() == std::this_thread::get_id();
  }
  // Waits until the worker thread, when there is one, has ended its run.
  void JoinWorker();

  // -1 once the task is taken out of the list.
  int32_t TaskIndex = -1;
  // The serial number the list gave the task; it never changes.
  uint64_t Serial = 0;
  // Once taken out of the list: the run whose place it keeps until it
  // ends (0 for none); guarded by the component lock.
  uint64_t SlotRun = 0;
  // The file its output went to once it ended ("" when nothing was kept);
  // guarded by the component lock.
  std::string WrittenOutput;
  std::atomic<uint32_t> ThreadID{0};
  // The picture stage's thread while the run has one: what the libraries log
  // there belongs to this task as well.
  std::atomic<uint32_t> StageThreadID{0};
  bool OwnsThread(uint32_t threadId) const {
    return threadId != 0 && (ThreadID.load() == threadId || StageThreadID.load() == threadId);
  }
  TInputOptions InputOptions;
  TOutputOptions OutputOptions;
  // Opened on the input by itself, apart from the worker's reading, for the
  // application's thread only.
  TAVProbe Probe;
  // The pass running now (1 or 2) of a two-pass task, 0 otherwise; written
  // by the worker before each pass.
  std::atomic<int> Pass{0};

 private:
  void Run();
  // Opens the kept input and the output again, with `output` applied when
  // the task has options; false with ErrorText set.
  bool ReopenFiles(const TOutputOptions& output, const std::string& outputName);
  // Ends the task as failed with `message`, after releasing its files.
  void FailWith(const std::string& message);
  // Reports a task that could not open its files.
  void FailOpening();
  // ReopenFiles with its failure in ErrorText.
  bool OpenForPass(const TOutputOptions& output, const std::string& outputName);
  // Reports the termination of a task that cannot run for want of files.
  void FailMissingFiles();
  // The kept input is taken or dropped: it no longer counts.
  void ForgetOpenInput();

  // Both threads are made once, while the task is in the component's list
  // and the component lock is held. The worker is detached: a finished task
  // stays in the list until the run is cleared, and an ended thread that
  // waited there to be joined would keep its stack. Freeing the task waits
  // for the worker's last touch of it instead (workerActive_ under
  // workerLock_); the terminator is joined.
  std::atomic<std::thread::id> workerId_{};
  std::thread terminator_;
  std::atomic<bool> workerActive_{false};
  std::mutex workerLock_;
  std::condition_variable workerEnded_;
  std::atomic<bool> claimed_{false};
  std::atomic<bool> stopped_{false};
  // Written before the run starts, read by the run.
  std::string inputName_, outputName_;
  bool inputOptions_ = false, outputOptions_ = false;
  std::atomic<int>* keptCount_ = nullptr;  // set while an open input is kept
};

class TFFmpegList {
 public:
  TFFmpeg& Item(int index) const;  // raises std::out_of_range for a bad index
  int Count() const { return static_cast<int>(tasks_.size()); }
  int Add(std::unique_ptr<TFFmpeg> task);
  // The position of the task with the serial number, or -1.
  int IndexOfSerial(uint64_t serial) const;
  // Takes the task out of the list (renumbering the later ones) and hands it over.
  std::unique_ptr<TFFmpeg> Extract(int index);
  std::vector<std::unique_ptr<TFFmpeg>> ExtractAll();
  TFFmpeg* FindByThreadID(uint32_t threadId) const;

 private:
  std::vector<std::unique_ptr<TFFmpeg>> tasks_;
  uint64_t nextSerial_ = 1;
};

}  // namespace moskvid
