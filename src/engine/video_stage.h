// A thread of its own for the pictures of one decoded video stream: the
// pre-processing, filters, frame-rate synchronisation, crop, scale, pad,
// hooks and encoding run there, fed by the demuxing and decoding thread
// through a short queue of reference-counted frames.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "binding/ffptr.h"

namespace moskvid {

// The clock of a decoded picture as the decoding side saw it; the decoding
// side's own clock runs ahead while the stage works behind it.
struct TPictureClock {
  int64_t Pts = 0;                   // microseconds
  int64_t NextPts = AV_NOPTS_VALUE;  // microseconds
  float Quality = 0;
};

class VideoStage {
 public:
  using Work = std::function<void(AVFrame* frame, const TPictureClock& clock)>;
  // Runs on the stage's thread when it begins (true) and before it ends (false).
  using ThreadHook = std::function<void(bool started)>;

  // `depth` frames may wait; the decoding side waits when they do.
  VideoStage(Work work, size_t depth, ThreadHook hook = {});
  // Drops what still waits and joins the thread.
  ~VideoStage();
  VideoStage(const VideoStage&) = delete;
  VideoStage& operator=(const VideoStage&) = delete;

  // Queues a new reference to `frame`. Raises the stage's failure, if it had
  // one, on the calling thread.
  void Push(const AVFrame* frame, const TPictureClock& clock);
  // Waits until every queued picture is done and the thread has ended;
  // raises the stage's failure. Nothing may be pushed afterwards.
  void Finish();

 private:
  struct Item {
    FramePtr Frame;
    TPictureClock Clock;
  };

  void Run();
  void RaiseFailure();

  Work work_;
  size_t depth_;
  ThreadHook hook_;

  std::mutex queueLock_;  // guards what follows
  std::condition_variable changed_;
  std::deque<Item> queue_;
  bool closing_ = false;    // no more pictures come
  bool abandoned_ = false;  // what waits is dropped
  std::exception_ptr failure_;
  bool failed_ = false;

  std::thread thread_;
};

}  // namespace moskvid
