#include "app/settings/kept_list_writer.h"

namespace moskvid {

TKeptListWriter::TKeptListWriter(TWrite write, TWritten written)
    : write_(std::move(write)), written_(std::move(written)), thread_([this] { Work(); }) {}

TKeptListWriter::~TKeptListWriter() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    ending_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

uint64_t TKeptListWriter::Save(std::string text) {
  uint64_t number;
  {
    std::lock_guard<std::mutex> guard(lock_);
    pending_ = std::move(text);
    number = ++handed_;
  }
  changed_.notify_all();
  return number;
}

std::string TKeptListWriter::Wait(uint64_t number) {
  std::unique_lock<std::mutex> guard(lock_);
  changed_.wait(guard, [&] { return settled_ >= number || settled_ >= handed_; });
  return lastReason_;
}

void TKeptListWriter::Work() {
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    changed_.wait(guard, [&] { return taken_ < handed_ || ending_; });
    // What is pending is written before the thread ends.
    if (taken_ == handed_) return;
    const std::string text = std::move(pending_);
    const uint64_t number = taken_ = handed_;
    guard.unlock();
    std::string reason;
    if (write_(text, reason)) {
      reason.clear();
    } else if (reason.empty()) {
      reason = "the list was not written";
    }
    if (written_) written_(number, reason);
    guard.lock();
    settled_ = number;
    lastReason_ = reason;
    changed_.notify_all();
  }
}

}  // namespace moskvid
