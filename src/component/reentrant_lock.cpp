#include "component/reentrant_lock.h"

namespace moskvid {

void ReentrantLock::lock() {
  mutex_.lock();
  owner_ = std::this_thread::get_id();
  ++depth_;
}

void ReentrantLock::unlock() {
  if (--depth_ == 0) owner_ = std::thread::id();
  mutex_.unlock();
}

bool ReentrantLock::HeldByCurrentThread() const {
  return owner_.load() == std::this_thread::get_id();
}

}  // namespace moskvid
