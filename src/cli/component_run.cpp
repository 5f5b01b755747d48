#include "cli/component_run.h"

#include "cli/cli_common.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <mutex>

#include "binding/my_utils.h"
#include "cli/progress_display.h"
#include "engine/option_parsing.h"

namespace moskvid::cli {

namespace {

std::atomic<int> gInterrupts{0};

void OnInterrupt(int) {
  if (gInterrupts.fetch_add(1) >= 1) _exit(130);
}

}  // namespace

bool LoadConverterLibraries(TCCAVConverter& converter) {
  if (converter.LoadLibraries(DefaultLibraryFolder(), true)) return true;
  std::fprintf(stderr, "%s\n", converter.LastError().c_str());
  return false;
}

bool RunJobs(TCCAVConverter& converter, std::vector<Job>& jobs, const RunSettings& settings,
             const JobRecordMaker& makeRecords) {
  const bool quiet = settings.Log == LogDetail::Quiet;
  ProgressDisplay display(isatty(STDERR_FILENO) != 0, quiet);
  std::mutex lock;
  std::condition_variable ended;
  bool runEnded = false;          // guarded by lock
  int finishedTasks = 0;          // guarded by lock
  size_t endedTasks = 0;          // of the part; guarded by lock
  std::vector<size_t> jobOfTask;  // the part's tasks, by index; guarded by lock

  converter.OnLog = [&](int, TLogLevel level, const std::string& message) {
    if (!ShowsLogLine(settings.Log, level, message)) return;
    std::lock_guard<std::mutex> guard(lock);
    display.Line(message);
  };
  converter.OnProgress = [&](int index, int frame, int, int current, float, float, int64_t size,
                             int total) {
    std::lock_guard<std::mutex> guard(lock);
    display.Update(static_cast<int>(jobOfTask[static_cast<size_t>(index)]), frame, current, size,
                   total);
  };
  converter.OnTerminate = [&](int index, bool done, bool failed, const std::string& message) {
    std::lock_guard<std::mutex> guard(lock);
    if (index < 0) {
      runEnded = true;
      ended.notify_all();
      return;
    }
    const size_t j = jobOfTask[static_cast<size_t>(index)];
    const Job& job = jobs[j];
    // The name the file really got: another one when its own was taken.
    const std::string written = converter.OutputWritten(index);
    display.End(static_cast<int>(j));
    if (done && !failed) {
      ++finishedTasks;
      std::printf("%s\n", written.empty() ? job.Output.c_str() : written.c_str());
      std::fflush(stdout);
    } else if (failed) {
      display.Line(job.Input + ": " + message +
                   (written.empty() ? "" : " (what was converted is kept as " + written + ")"));
    } else {
      display.Line(job.Input + ": stopped" +
                   (written.empty() ? "" : " (what was converted is in " + written + ")"));
    }
    // The component starts the next task as one ends.
    display.StartNext();
    ++endedTasks;
    ended.notify_all();
  };

  converter.CodecThreads = settings.CodecThreads;
  std::vector<std::string> names;
  std::vector<int> expected;
  std::vector<TJobShape> shapes;
  for (const Job& job : jobs) {
    names.push_back(job.Input);
    expected.push_back(job.ExpectedMs);
    shapes.push_back(job.Shape);
  }
  const int simultaneous = SimultaneousFor(settings.Simultaneous, shapes, CoreCount());
  display.Begin(std::move(names), std::move(expected), simultaneous);
  if (simultaneous > 1 && !quiet) {
    display.Line(Format("Converting %zu files, %d at a time", jobs.size(), simultaneous));
  }

  // A long batch runs in parts: a finished task stays in the component's
  // list until the list is cleared, so a part's tasks are freed before the
  // next part is added, and memory stays flat however many files there are.
  // Within a part each job is built and added just before it runs, so that
  // the task runs from the file its job was built from, opened once.
  const size_t partSize =
      std::max<size_t>(kSmallestPart, size_t{8} * static_cast<size_t>(simultaneous));
  const size_t ahead = static_cast<size_t>(simultaneous) + 1;  // running and ready
  gInterrupts = 0;
  auto previous = std::signal(SIGINT, OnInterrupt);
  bool allAdded = true;
  bool stopped = false;
  TAVProbe& probe = converter.Probe();
  {
    // The first ones start at once; every later start follows an end.
    std::lock_guard<std::mutex> guard(lock);
    for (int i = 0; i < simultaneous; ++i)
      display.StartNext();
  }
  // Gives the stop to the run once Ctrl-C came; true when it has.
  auto checkInterrupt = [&](std::unique_lock<std::mutex>& guard) {
    if (gInterrupts.load() > 0 && !stopped) {
      stopped = true;
      guard.unlock();
      converter.StopConvert();
      converter.HoldRun(false);  // ends a run that has nothing running
      guard.lock();
    }
    return stopped;
  };
  for (size_t first = 0; first < jobs.size() && !stopped; first += partSize) {
    converter.ClearTasks();
    {
      std::lock_guard<std::mutex> guard(lock);
      jobOfTask.clear();
      endedTasks = 0;
      runEnded = false;
    }
    converter.HoldRun(true);
    converter.StartConvert(simultaneous);
    for (size_t j = first; j < std::min(jobs.size(), first + partSize); ++j) {
      {
        std::unique_lock<std::mutex> guard(lock);
        while (jobOfTask.size() - endedTasks >= ahead && !checkInterrupt(guard))
          ended.wait_for(guard, std::chrono::milliseconds(100));
        if (checkInterrupt(guard)) break;
      }
      Job& job = jobs[j];
      if (!job.Records && !(makeRecords && makeRecords(job))) {
        allAdded = false;
        std::lock_guard<std::mutex> guard(lock);
        display.End(static_cast<int>(j));
        continue;
      }
      {
        // Before the task exists: it may start, and report, inside SetOutput.
        std::lock_guard<std::mutex> guard(lock);
        jobOfTask.push_back(j);
      }
      const bool fromProbe = probe.Loaded() && probe.FileName() == job.Input;
      const int index = fromProbe ? converter.AddInput(probe, &job.Records->Input)
                                  : converter.AddInput(job.Input, &job.Records->Input);
      probe.Close();
      const bool added = index >= 0 && converter.SetOutput(index, job.Output, &job.Records->Output);
      job.Records.reset();  // the task holds its own copies
      if (added) continue;
      std::fprintf(stderr, "%s\n", converter.LastError().c_str());
      allAdded = false;
      if (index >= 0) converter.RemoveTask(index);
      std::lock_guard<std::mutex> guard(lock);
      jobOfTask.pop_back();
      display.End(static_cast<int>(j));
    }
    converter.HoldRun(false);
    std::unique_lock<std::mutex> guard(lock);
    while (!runEnded) {
      ended.wait_for(guard, std::chrono::milliseconds(100));
      checkInterrupt(guard);
    }
  }
  display.Finish();
  converter.ClearTasks();
  std::signal(SIGINT, previous);
  converter.OnLog = nullptr;
  converter.OnProgress = nullptr;
  converter.OnTerminate = nullptr;
  return allAdded && !stopped && finishedTasks == static_cast<int>(jobs.size());
}

}  // namespace moskvid::cli
