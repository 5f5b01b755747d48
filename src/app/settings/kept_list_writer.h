// TKeptListWriter: writes the kept list on a thread of its own, so that a
// slow disk (a write and fsync can take seconds) never holds the window.
// Only the newest text matters: one handed over while another waits its
// turn takes that one's place, and texts are written in the order they
// were handed over, so that a newer list is never followed by an older one.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace moskvid {

class TKeptListWriter {
 public:
  // Writes one text whole; false with the reason. Runs on the writer's thread.
  using TWrite = std::function<bool(const std::string& text, std::string& reason)>;
  // After each write, on the writer's thread: the number of the text written
  // (every text handed over before it is settled too) and the reason the
  // write failed, "" when it did not.
  using TWritten = std::function<void(uint64_t number, const std::string& reason)>;

  TKeptListWriter(TWrite write, TWritten written);
  // Writes the text handed over last, if it is not written yet, then ends
  // the thread: nothing handed over is lost.
  ~TKeptListWriter();
  TKeptListWriter(const TKeptListWriter&) = delete;
  TKeptListWriter& operator=(const TKeptListWriter&) = delete;

  // Hands over the newest text; its number, one more than the last. Returns
  // at once. Any thread.
  uint64_t Save(std::string text);
  // Waits until text `number`, or a newer one, is written or failed; the
  // reason that write failed, "" when it did not. Any thread but the writer's.
  std::string Wait(uint64_t number);

 private:
  void Work();

  const TWrite write_;
  const TWritten written_;
  // --- Guarded by lock_.
  std::mutex lock_;
  std::condition_variable changed_;
  std::string pending_;     // the newest text not yet taken
  uint64_t handed_ = 0;     // the number of the newest text handed over
  uint64_t taken_ = 0;      // ... and of the one the thread took last
  uint64_t settled_ = 0;    // ... and of the last one written or failed
  std::string lastReason_;  // why that write failed, "" when it did not
  bool ending_ = false;
  // --- The last member: it starts once the others are made.
  std::thread thread_;
};

}  // namespace moskvid
