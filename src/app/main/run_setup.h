// The set-up of a run on a thread of its own, so that Start never holds the
// window: each checked file is opened once and its task added, while the
// progress window is up and can cancel. Free of window code.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <thread>
#include <vector>

#include "app/main/run_builder.h"

namespace moskvid {

class TRunSetUp {
 public:
  // Starts setting up `sources` on `converter`, which nobody else touches
  // until `done` has been called, on the set-up's thread, at the end.
  TRunSetUp(TCCAVConverter& converter, std::vector<TRunSource> sources, int format,
            const TGlobalObject& global, std::function<void()> done);
  // Cancels and waits for the thread.
  ~TRunSetUp();
  TRunSetUp(const TRunSetUp&) = delete;
  TRunSetUp& operator=(const TRunSetUp&) = delete;

  // The sources not yet set up get no task.
  void Cancel() { cancelled_ = true; }
  // Waits for the thread; then the plan and the error are there.
  void Wait();

  const TRunPlan& Plan() const { return plan_; }
  // What a stored setting raised, which stops the whole run; null otherwise.
  std::exception_ptr Error() const { return error_; }

 private:
  TRunPlan plan_;
  std::exception_ptr error_;
  std::atomic<bool> cancelled_{false};
  std::thread thread_;
};

}  // namespace moskvid
