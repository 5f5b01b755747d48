#include "component/ffmpeg_task.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "component/scratch_folder.h"

namespace moskvid {

namespace {

// Lowers the calling thread's priority; raising it would need privileges.
void ApplyPriority(TConvertPriority priority) {
  const auto tid = static_cast<id_t>(CurrentThreadId());
  switch (priority) {
    case tpNormal:
      break;
    case tpLower:
    case tpLowest: {
      const int step = priority == tpLower ? 5 : 15;
      const int nice = std::min(getpriority(PRIO_PROCESS, tid) + step, 19);
      setpriority(PRIO_PROCESS, tid, nice);
      break;
    }
    case tpIdle: {
      sched_param parameter{};
      pthread_setschedparam(pthread_self(), SCHED_IDLE, &parameter);
      break;
    }
  }
}

}  // namespace

uint32_t CurrentThreadId() {
  return static_cast<uint32_t>(::syscall(SYS_gettid));
}

TFFmpeg::TFFmpeg() = default;

TFFmpeg::~TFFmpeg() {
  RequestStop();
  JoinWorker();
  if (terminator_.joinable() && terminator_.get_id() != std::this_thread::get_id()) {
    terminator_.join();
  }
  // The probe goes before the engine closes the input it is attached to.
  Probe.Close();
  ForgetOpenInput();
}

void TFFmpeg::Stop() {
  stopped_ = true;
  RequestStop();
}

void TFFmpeg::KeepInput(const std::string& fileName, const TInputOptions* options) {
  inputName_ = fileName;
  inputOptions_ = options != nullptr;
}

void TFFmpeg::KeepOutput(const std::string& fileName, const TOutputOptions* options) {
  outputName_ = fileName;
  outputOptions_ = options != nullptr;
}

void TFFmpeg::KeepInputOpen(std::atomic<int>& kept) {
  if (keptCount_) return;
  InputContextPtr input = DetachInput();
  if (!input) return;
  OfferOpenedInput(std::move(input), false, false);
  keptCount_ = &kept;
  ++kept;
}

void TFFmpeg::ForgetOpenInput() {
  DropOfferedInput();
  if (keptCount_) --*keptCount_;
  keptCount_ = nullptr;
}

bool TFFmpeg::ReopenFiles(const TOutputOptions& output, const std::string& outputName) {
  // The reset clears the run flags that Start set; the stop is put back from
  // stopped_, which nothing clears. The component's run settings stay.
  const int threads = Options.ThreadCount, verbose = Options.Verbose;
  ResetOptions();
  Options.ThreadCount = threads;
  Options.Verbose = verbose;
  Running = true;
  if (stopped_) RequestStop();
  if (inputOptions_) ApplyInputOptions(InputOptions);
  // The same options as when the task was checked: a kept input is taken.
  const bool opened = OpenInputFile(inputName_);
  ForgetOpenInput();
  if (!opened) return false;
  if (outputOptions_) ApplyOutputOptions(output);
  return OpenOutputFile(outputName);
}

void TFFmpeg::JoinWorker() {
  if (OnWorkerThread()) return;
  std::unique_lock<std::mutex> lock(workerLock_);
  workerEnded_.wait(lock, [this] { return !workerActive_.load(); });
}

void TFFmpeg::StartTerminator() {
  if (Running || Terminated || terminator_.joinable()) return;
  terminator_ = std::thread([this] {
    if (Claim()) Terminate();
  });
}

bool TFFmpeg::Start(bool inThread, TConvertPriority priority) {
  if (Running || Terminated || !Claim()) return false;
  if (AfterClaim) AfterClaim();
  const bool ready = HasKeptOutput() && !inputName_.empty();
  if (ready) {
    // A stop that came before this point is kept in StopRequested.
    Running = true;
    Finished = false;
  }
  if (!inThread) {
    ready ? Run() : FailMissingFiles();
    return false;
  }
  workerActive_ = true;
  std::thread worker([this, ready, priority] {
    workerId_ = std::this_thread::get_id();  // before anything can ask
    ThreadID = CurrentThreadId();
    ApplyPriority(priority);
    ready ? Run() : FailMissingFiles();
    // The last touch of the task: once the lock is let go, it may be freed.
    std::lock_guard<std::mutex> lock(workerLock_);
    workerActive_ = false;
    workerEnded_.notify_all();
  });
  workerId_ = worker.get_id();
  worker.detach();
  return true;
}

void TFFmpeg::FailWith(const std::string& message) {
  Release();
  Log(-1, message);
  HasException = true;
  ExceptionMessage = message;
  Terminate();
}

void TFFmpeg::FailMissingFiles() {
  FailWith(!HasKeptOutput() ? "Must supply at least one output file"
                            : "Must supply at least one input file");
}

void TFFmpeg::FailOpening() {
  if (StopRequested) {
    // A stop that interrupted the opening ends the task as stopped.
    Release();
    Terminate();
    return;
  }
  FailWith(ErrorText);
}

bool TFFmpeg::OpenForPass(const TOutputOptions& output, const std::string& outputName) {
  try {
    return ReopenFiles(output, outputName);
  } catch (const std::exception& error) {
    ErrorText = error.what();
    return false;
  }
}

void TFFmpeg::Run() {
  Finished = false;
  TOutputOptions output = OutputOptions;
  // The statistics go before the end is reported: whoever hears of it may
  // look at the temporary folder.
  TScratchFolder stats;
  if (outputOptions_ && OutputOptions.Passes == 2) {
    std::string reason;
    if (!stats.Make(reason)) {
      ErrorText = "No folder for the first pass's statistics: " + reason;
      FailOpening();
      return;
    }
    const std::string prefix = stats.Path() + "/pass";
    // The first pass: the video alone, into nothing ("-" names no file for
    // the null writer).
    TOutputOptions first = OutputOptions;
    first.Format = "null";
    first.ExtOptions += "\nan=1\nsn=1\npass=1\npasslogfile=" + prefix;
    Pass = 1;
    const bool opened = OpenForPass(first, "-");
    if (opened) TranscodePass();
    if (!opened || HasException || !Finished) {
      stats.Remove();
      opened ? Terminate() : FailOpening();
      return;
    }
    output.ExtOptions += "\npass=2\npasslogfile=" + prefix;
    Pass = 2;
  }
  if (!OpenForPass(output, outputName_)) {
    stats.Remove();
    FailOpening();
    return;
  }
  TranscodePass();
  stats.Remove();
  Terminate();
}

TFFmpeg& TFFmpegList::Item(int index) const {
  if (index < 0 || index >= Count()) {
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  }
  return *tasks_[static_cast<size_t>(index)];
}

int TFFmpegList::Add(std::unique_ptr<TFFmpeg> task) {
  task->TaskIndex = Count();
  task->Serial = nextSerial_++;
  tasks_.push_back(std::move(task));
  return Count() - 1;
}

std::unique_ptr<TFFmpeg> TFFmpegList::Extract(int index) {
  Item(index);  // checks the index
  std::unique_ptr<TFFmpeg> task = std::move(tasks_[static_cast<size_t>(index)]);
  tasks_.erase(tasks_.begin() + index);
  task->TaskIndex = -1;
  for (int i = index; i < Count(); ++i)
    tasks_[static_cast<size_t>(i)]->TaskIndex = i;
  return task;
}

int TFFmpegList::IndexOfSerial(uint64_t serial) const {
  for (int i = 0; i < Count(); ++i) {
    if (tasks_[static_cast<size_t>(i)]->Serial == serial) return i;
  }
  return -1;
}

std::vector<std::unique_ptr<TFFmpeg>> TFFmpegList::ExtractAll() {
  std::vector<std::unique_ptr<TFFmpeg>> tasks = std::move(tasks_);
  tasks_.clear();
  for (auto& task : tasks)
    task->TaskIndex = -1;
  return tasks;
}

TFFmpeg* TFFmpegList::FindByThreadID(uint32_t threadId) const {
  for (const auto& task : tasks_) {
    if (task->ThreadID.load() == threadId) return task.get();
  }
  return nullptr;
}

}  // namespace moskvid
