// The component's lock: re-entrant, because a task's end is reported with it
// held and the report may stop the run, which takes it again on that thread.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

namespace moskvid {

// A re-entrant lock that knows whether the calling thread holds it.
class ReentrantLock {
 public:
  void lock();
  void unlock();
  bool HeldByCurrentThread() const;

 private:
  std::recursive_mutex mutex_;
  std::atomic<std::thread::id> owner_{};
  int depth_ = 0;  // guarded by mutex_
};

}  // namespace moskvid
