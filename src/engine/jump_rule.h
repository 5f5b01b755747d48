// TJumpRule: tells a broken clock from a pause in the decoding times of one
// input file whose format flags no discontinuities (Matroska, MP4, AVI).
//
// Pictures ten hours ahead of the sound that runs on are a broken clock and
// would otherwise be filled with ten hours of the last picture: that jump is
// closed up. Everything else keeps its times: a gap in every stream (a
// paused recording), a still picture held for seconds while the sound has
// ended, a stream that ended, a stream that comes back later than the
// others. Which of the two a jump is shows only when another stream goes on,
// so the jumped stream's packets wait until then. A jump of hours past a
// stream that ran on through it and fell silent before the jumped packets
// came (it ended, or was stored ahead of them) is one too. Without such
// evidence (the other streams ended before the jump, paused as well, or
// stayed silent while the wait grew too long, or were themselves closed up
// and so tell nothing of that time) the times are kept.
//
// Times are microseconds; the rule knows nothing of packets, so the caller
// keeps what it holds back and applies Shift() to what goes on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace moskvid {

class TJumpRule {
 public:
  static constexpr int64_t kNoTime = INT64_MIN;
  // Packets held at most while a jump is judged; then its times are kept.
  static constexpr size_t kMaxHeld = 128;
  // How far another stream must run on past the time the stream jumped
  // from, without a gap of its own, for the jump to count as a broken clock.
  static constexpr int64_t kRunOn = 2000000;
  // A jump this long with another stream that ran on through it and then
  // fell silent (ended, or stored ahead) is a broken clock too.
  static constexpr int64_t kFarJump = int64_t{3600} * 1000000;

  // `threshold`: gaps up to this long are no jump at all.
  TJumpRule(int streams, int64_t threshold);

  // Waiting packets of one stream that go on, with the stream's Shift().
  struct TRelease {
    int Stream = 0;
    int64_t ClosedUp = 0;  // the jump taken off its times; 0: times kept
    int64_t From = 0;      // where the jump was (output time)
  };
  struct TStep {
    bool Hold = false;  // the packet waits with the stream's others
    // What goes on now, before this packet; the packet's own stream may be
    // among them, the packet then last.
    std::vector<TRelease> Released;
  };
  // One packet of `stream`: its decoding time (kNoTime when it has none)
  // and duration, as read.
  TStep Feed(int stream, int64_t dts, int64_t duration);
  // The end of the file: every waiting stream goes on with its times.
  std::vector<TRelease> Finish();

  // What to take off the stream's times from now on.
  int64_t Shift(int stream) const { return streams_[stream].Shift; }

 private:
  struct Stream {
    int64_t Last = kNoTime, Next = kNoTime;  // output times of the last packet let go
    int64_t RunStart = kNoTime;              // where its current gapless run began
    int64_t Shift = 0;
    bool Holding = false;
    size_t Held = 0;
    int64_t JumpFrom = 0, JumpTo = 0;                // output times around the jump
    int64_t HeldLast = kNoTime, HeldNext = kNoTime;  // the clock of the held packets
  };

  void Track(Stream& stream, int64_t time, int64_t duration);
  bool FarBeyondTheOthers(int stream, int64_t time) const;
  bool RanOnThrough(int stream) const;
  void Judge(int by, int64_t time, std::vector<TRelease>& released);
  void Release(int stream, bool closeUp, std::vector<TRelease>& released);

  std::vector<Stream> streams_;
  int64_t threshold_;
};

}  // namespace moskvid
