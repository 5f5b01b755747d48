// TFFmpeg: one conversion task of the component (an engine with the task's
// bookkeeping), and TFFmpegList, the component's owning task list.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
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

  // The first caller wins: either the start or a stop that ends a task which
  // never started. Makes sure a task terminates exactly once.
  bool Claim() { return !claimed_.exchange(true); }

  // Ends a task that never started, reporting it from a thread of its own:
  // the report takes the component lock, which the caller holds. Does
  // nothing when a start or an earlier call came first.
  void StartTerminator();

  // True while a worker thread exists that has not finished its run.
  bool WorkerActive() const { return workerActive_.load(); }
  bool OnWorkerThread() const { return worker_.get_id() == std::this_thread::get_id(); }
  // True on the worker or the terminator: freeing the task there would
  // free what the thread itself still runs in.
  bool OnOwnThread() const {
    return OnWorkerThread() || terminator_.get_id() == std::this_thread::get_id();
  }
  // Waits for the worker thread, when there is one.
  void JoinWorker();

  int32_t TaskIndex = -1;
  std::atomic<uint32_t> ThreadID{0};
  TInputOptions InputOptions;
  TOutputOptions OutputOptions;
  TAVProbe Probe;

 protected:
  // The attached probe lets go of the input before the engine closes it.
  void ReleaseFiles() override;

 private:
  void Run();
  // Reports the termination of a task that cannot run for want of files.
  void FailMissingFiles();

  // Both threads are made once, while the task is in the component's list
  // and the component lock is held, and joined when the task is freed.
  std::thread worker_;
  std::thread terminator_;
  std::atomic<bool> workerActive_{false};
  std::atomic<bool> claimed_{false};
};

class TFFmpegList {
 public:
  TFFmpeg& Item(int index) const;  // raises std::out_of_range for a bad index
  int Count() const { return static_cast<int>(tasks_.size()); }
  int Add(std::unique_ptr<TFFmpeg> task);
  // Takes the task out of the list (renumbering the later ones) and hands it over.
  std::unique_ptr<TFFmpeg> Extract(int index);
  std::vector<std::unique_ptr<TFFmpeg>> ExtractAll();
  TFFmpeg* FindByThreadID(uint32_t threadId) const;

 private:
  std::vector<std::unique_ptr<TFFmpeg>> tasks_;
};

}  // namespace moskvid
