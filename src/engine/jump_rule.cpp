#include "engine/jump_rule.h"

#include <algorithm>

namespace moskvid {

TJumpRule::TJumpRule(int streams, int64_t threshold)
    : streams_(static_cast<size_t>(std::max(streams, 0))), threshold_(threshold) {}

void TJumpRule::Track(Stream& stream, int64_t time, int64_t duration) {
  // A gap (forward or back) starts a new run: a stream that paused is no
  // witness of what happened while it was away.
  if (stream.Next == kNoTime || time - stream.Next > threshold_ ||
      stream.Last - time > threshold_) {
    stream.RunStart = time;
  }
  stream.Last = time;
  stream.Next = time + std::max<int64_t>(duration, 0);
}

bool TJumpRule::FarBeyondTheOthers(int index, int64_t time) const {
  int64_t others = kNoTime;
  for (size_t s = 0; s < streams_.size(); ++s) {
    const Stream& other = streams_[s];
    if (static_cast<int>(s) == index || other.Last == kNoTime) continue;
    others = std::max(others, other.Holding ? other.JumpTo : other.Last);
  }
  return others != kNoTime && time - others > threshold_;
}

TJumpRule::TStep TJumpRule::Feed(int index, int64_t dts, int64_t duration) {
  TStep step;
  Stream& stream = streams_[index];
  if (dts == kNoTime) {
    step.Hold = stream.Holding;
    if (step.Hold && ++stream.Held >= kMaxHeld) Release(index, RanOnThrough(index), step.Released);
    return step;
  }
  const int64_t time = dts - stream.Shift;
  if (stream.Holding) {
    step.Hold = true;
    stream.HeldLast = time;
    stream.HeldNext = time + std::max<int64_t>(duration, 0);
    // The other streams stayed silent all this while.
    if (++stream.Held >= kMaxHeld) Release(index, RanOnThrough(index), step.Released);
    return step;
  }
  if (stream.Next != kNoTime && time - stream.Next > threshold_ &&
      FarBeyondTheOthers(index, time)) {
    stream.Holding = true;
    stream.Held = 1;
    stream.JumpFrom = stream.Next;
    stream.JumpTo = time;
    stream.HeldLast = time;
    stream.HeldNext = time + std::max<int64_t>(duration, 0);
    step.Hold = true;
    return step;
  }
  Track(stream, time, duration);
  Judge(index, time, step.Released);
  return step;
}

void TJumpRule::Judge(int by, int64_t time, std::vector<TRelease>& released) {
  // A stream whose own jump was closed up is no witness: whatever it did
  // while its clock was away (a pause, say) went with the jump, so its run
  // looks unbroken where it was not.
  const Stream& witness = streams_[by];
  for (size_t s = 0; s < streams_.size(); ++s) {
    Stream& stream = streams_[s];
    if (static_cast<int>(s) == by || !stream.Holding) continue;
    if (time >= stream.JumpTo - threshold_) {
      // Came as far as well: a pause of the whole file.
      Release(static_cast<int>(s), false, released);
    } else if (witness.Shift == 0 && witness.RunStart <= stream.JumpFrom &&
               time > stream.JumpFrom + kRunOn) {
      // Ran on, without a gap, through the time the stream jumped over.
      // Anything earlier may be a packet from before the jump, stored late.
      Release(static_cast<int>(s), true, released);
    }
  }
}

void TJumpRule::Release(int index, bool closeUp, std::vector<TRelease>& released) {
  Stream& stream = streams_[index];
  const int64_t delta = closeUp ? stream.JumpTo - stream.JumpFrom : 0;
  stream.Shift += delta;
  stream.Holding = false;
  stream.Held = 0;
  stream.Last = stream.HeldLast - delta;
  stream.Next = stream.HeldNext - delta;
  // Closed up, the stream runs on from where it was; kept, it starts anew.
  stream.RunStart = closeUp ? stream.RunStart : stream.JumpTo;
  released.push_back(TRelease{index, delta, stream.JumpFrom});
}

bool TJumpRule::RanOnThrough(int index) const {
  const Stream& stream = streams_[index];
  // Shorter jumps may be a pause that the other streams began later.
  if (stream.JumpTo - stream.JumpFrom < kFarJump) return false;
  for (size_t s = 0; s < streams_.size(); ++s) {
    const Stream& other = streams_[s];
    if (static_cast<int>(s) == index || other.Last == kNoTime || other.Holding || other.Shift != 0)
      continue;
    if (other.RunStart <= stream.JumpFrom && other.Last > stream.JumpFrom + kRunOn) return true;
  }
  return false;
}

std::vector<TJumpRule::TRelease> TJumpRule::Finish() {
  std::vector<TRelease> released;
  for (size_t s = 0; s < streams_.size(); ++s) {
    const int index = static_cast<int>(s);
    if (streams_[s].Holding) Release(index, RanOnThrough(index), released);
  }
  return released;
}

}  // namespace moskvid
