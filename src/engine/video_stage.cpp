#include "engine/video_stage.h"

#include <pthread.h>

#include "engine/custom_ffmpeg.h"

namespace moskvid {

VideoStage::VideoStage(Work work, size_t depth, ThreadHook hook)
    : work_(std::move(work)),
      depth_(depth == 0 ? 1 : depth),
      hook_(std::move(hook)),
      thread_([this] {
        if (hook_) hook_(true);
        Run();
        if (hook_) hook_(false);
      }) {}

VideoStage::~VideoStage() {
  {
    std::lock_guard<std::mutex> lock(queueLock_);
    closing_ = true;
    abandoned_ = true;
    queue_.clear();
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void VideoStage::Push(const AVFrame* frame, const TPictureClock& clock) {
  Item item{FramePtr(ff::av_frame_alloc()), clock};
  if (!item.Frame || ff::av_frame_ref(item.Frame.get(), frame) < 0) {
    throw FFMpegException("av_mallocz fail");
  }
  std::unique_lock<std::mutex> lock(queueLock_);
  changed_.wait(lock, [&] { return queue_.size() < depth_ || failed_; });
  if (failed_) {
    lock.unlock();
    RaiseFailure();
  }
  queue_.push_back(std::move(item));
  lock.unlock();
  changed_.notify_all();
}

void VideoStage::Finish() {
  {
    std::lock_guard<std::mutex> lock(queueLock_);
    closing_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  RaiseFailure();
}

void VideoStage::RaiseFailure() {
  std::exception_ptr failure;
  {
    std::lock_guard<std::mutex> lock(queueLock_);
    failure = failure_;
  }
  if (failure) std::rethrow_exception(failure);
}

void VideoStage::Run() {
  // Named, so that profilers and debuggers tell it from the decoder's threads.
  pthread_setname_np(pthread_self(), "moskvid-video");
  for (;;) {
    Item item;
    {
      std::unique_lock<std::mutex> lock(queueLock_);
      changed_.wait(lock, [&] { return !queue_.empty() || closing_; });
      if (queue_.empty() || abandoned_) return;
      item = std::move(queue_.front());
      queue_.pop_front();
    }
    changed_.notify_all();
    if (failed_) continue;  // only this thread writes it once set
    try {
      // No lock is held here: the work may wait at a pause.
      work_(item.Frame.get(), item.Clock);
    } catch (...) {
      std::lock_guard<std::mutex> lock(queueLock_);
      failure_ = std::current_exception();
      failed_ = true;
      // The decoding side may be waiting for room.
      queue_.clear();
      changed_.notify_all();
    }
  }
}

}  // namespace moskvid
