// The jump rule alone, over made-up files: two or three streams of packets
// on one true timeline, with starts, pauses of every stream, gaps of one
// stream (stills), ends, wraps back, and at most one broken clock: a stream
// whose stored times jump hours ahead from some point on. The packets come in
// the order of their true times, each stream lagging a little, as a muxer
// interleaves them.
//
// Every packet must come out once, in its stream's order, at its stored
// time: nothing shortened, nothing moved out of step. Only the packets after
// the broken clock may come out that jump earlier, all of them alike.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/jump_rule.h"
#include "fuzz_support.h"

using moskvid::TJumpRule;

namespace {

constexpr int64_t kSecond = 1000000;
constexpr int64_t kThreshold = 10 * kSecond;
// Pauses and stills last up to 500 s, six of them together under an hour;
// a broken clock jumps an hour or more.
constexpr int64_t kLongestGap = 500 * kSecond;

struct Gap {
  int Stream;  // -1: every stream
  int64_t At, Length;
};

struct Packet {
  int Stream;
  size_t Index;          // in its stream
  int64_t True, Stored;  // microseconds
  int64_t Order;         // place in the file
  int64_t Duration;
  bool AfterBrokenClock;
};

struct Scenario {
  int Streams = 2;
  std::vector<int64_t> Duration, Start, End, Lag;
  std::vector<Gap> Gaps;
  int Broken = -1;  // the stream whose clock breaks
  int64_t BrokenAt = 0, BrokenBy = 0;
  std::vector<int64_t> Wraps;  // true times where every stream's stored times drop
};

Scenario MakeScenario(FuzzedDataProvider& data) {
  Scenario s;
  s.Streams = data.ConsumeIntegralInRange(2, 3);
  for (int i = 0; i < s.Streams; ++i) {
    s.Duration.push_back(data.ConsumeIntegralInRange<int64_t>(10, 100) * 1000);
    s.Start.push_back(data.ConsumeIntegralInRange<int64_t>(0, 2000) * 1000);
    s.End.push_back(data.ConsumeIntegralInRange<int64_t>(3, 120) * kSecond);
    s.Lag.push_back(data.ConsumeIntegralInRange<int64_t>(0, 500) * 1000);
  }
  const int events = data.ConsumeIntegralInRange(0, 6);
  for (int e = 0; e < events; ++e) {
    const int kind = data.ConsumeIntegralInRange(0, 2);
    const int64_t at = data.ConsumeIntegralInRange<int64_t>(0, 120) * kSecond;
    if (kind == 0) {
      s.Gaps.push_back(
          {-1, at, data.ConsumeIntegralInRange<int64_t>(1, kLongestGap / kSecond) * kSecond});
    } else if (kind == 1) {
      s.Gaps.push_back({data.ConsumeIntegralInRange(0, s.Streams - 1), at,
                        data.ConsumeIntegralInRange<int64_t>(1, kLongestGap / kSecond) * kSecond});
    } else {
      s.Wraps.push_back(at);
    }
  }
  if (data.ConsumeBool()) {
    s.Broken = data.ConsumeIntegralInRange(0, s.Streams - 1);
    s.BrokenAt = data.ConsumeIntegralInRange<int64_t>(1, 120) * kSecond;
    s.BrokenBy = data.ConsumeIntegralInRange<int64_t>(1, 1000) * 3600 * kSecond;
  }
  return s;
}

// True time within a gap of the stream: none of its packets there.
bool InGap(const Scenario& s, int stream, int64_t time) {
  for (const Gap& gap : s.Gaps) {
    if ((gap.Stream == -1 || gap.Stream == stream) && time >= gap.At && time < gap.At + gap.Length)
      return true;
  }
  return false;
}

std::vector<Packet> MakePackets(const Scenario& s) {
  std::vector<Packet> packets;
  // The end of the last gap bounds the timeline.
  int64_t horizon = 0;
  for (int i = 0; i < s.Streams; ++i)
    horizon = std::max(horizon, s.End[i]);
  for (const Gap& gap : s.Gaps)
    horizon = std::max(horizon, gap.At + gap.Length + 10 * kSecond);
  for (int i = 0; i < s.Streams; ++i) {
    size_t index = 0;
    // Gaps shift where the stream ends, so that a pause is a pause.
    int64_t left = s.End[i];
    for (int64_t t = s.Start[i]; t < horizon && left > 0; t += s.Duration[i]) {
      if (InGap(s, i, t)) continue;
      left -= s.Duration[i];
      Packet p{i, index++, t, t, t + s.Lag[i], s.Duration[i], false};
      for (int64_t wrap : s.Wraps)
        if (t >= wrap) p.Stored -= int64_t{95443} * kSecond;
      if (i == s.Broken && t >= s.BrokenAt) {
        p.Stored += s.BrokenBy;
        p.AfterBrokenClock = true;
      }
      packets.push_back(p);
      if (packets.size() > 200000) return packets;
    }
  }
  std::stable_sort(packets.begin(), packets.end(),
                   [](const Packet& a, const Packet& b) { return a.Order < b.Order; });
  return packets;
}

std::string Describe(const Scenario& s) {
  std::string text;
  for (int i = 0; i < s.Streams; ++i) {
    text += "stream " + std::to_string(i) + ": every " + std::to_string(s.Duration[i]) +
            " us from " + std::to_string(s.Start[i]) + " for " + std::to_string(s.End[i]) +
            ", lag " + std::to_string(s.Lag[i]) + "\n";
  }
  for (const Gap& gap : s.Gaps) {
    text += "gap of " + std::to_string(gap.Stream) + " at " + std::to_string(gap.At) + " for " +
            std::to_string(gap.Length) + "\n";
  }
  for (int64_t wrap : s.Wraps)
    text += "wrap at " + std::to_string(wrap) + "\n";
  if (s.Broken >= 0) {
    text += "clock of " + std::to_string(s.Broken) + " breaks at " + std::to_string(s.BrokenAt) +
            " by " + std::to_string(s.BrokenBy) + "\n";
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  const Scenario scenario = MakeScenario(data);
  const std::vector<Packet> packets = MakePackets(scenario);
  const auto fail = [&](const std::string& what) {
    moskvid::fuzz::Fail(what + "\n" + Describe(scenario));
  };

  // The broken stream's jump as its stored times show it: a gap of its own
  // or a wrap at that point goes with it.
  int64_t jump = 0, before = TJumpRule::kNoTime;
  for (const Packet& p : packets) {
    if (p.Stream != scenario.Broken) continue;
    if (!p.AfterBrokenClock) {
      before = p.Stored + p.Duration;
    } else {
      if (before != TJumpRule::kNoTime) jump = p.Stored - before;
      break;
    }
  }
  TJumpRule rule(scenario.Streams, kThreshold);
  std::vector<std::vector<const Packet*>> held(scenario.Streams);
  std::vector<size_t> next(scenario.Streams, 0);
  std::vector<int64_t> closedUp(scenario.Streams, -1);  // what its broken packets were moved by
  auto emit = [&](const Packet& p) {
    if (p.Index != next[p.Stream]++) fail("a packet out of its stream's order");
    const int64_t shift = rule.Shift(p.Stream);
    if (shift == 0) return;
    if (!p.AfterBrokenClock) {
      fail("stream " + std::to_string(p.Stream) + " moved by " + std::to_string(shift) +
           " us at true time " + std::to_string(p.True));
    }
    if (shift != jump) fail("a broken clock closed up by " + std::to_string(shift));
  };
  auto check = [&](const Packet& p) {
    emit(p);
    if (!p.AfterBrokenClock) return;
    const int64_t shift = rule.Shift(p.Stream);
    if (closedUp[p.Stream] == -1) closedUp[p.Stream] = shift;
    if (closedUp[p.Stream] != shift)
      fail("the packets after a broken clock moved unlike each other");
  };
  auto release = [&](const std::vector<TJumpRule::TRelease>& released) {
    for (const TJumpRule::TRelease& r : released) {
      for (const Packet* p : held[r.Stream])
        check(*p);
      held[r.Stream].clear();
    }
  };
  for (const Packet& p : packets) {
    const TJumpRule::TStep step = rule.Feed(p.Stream, p.Stored, p.Duration);
    if (step.Hold) held[p.Stream].push_back(&p);
    release(step.Released);
    if (!step.Hold) check(p);
  }
  release(rule.Finish());

  for (int i = 0; i < scenario.Streams; ++i) {
    if (!held[i].empty()) fail("packets left held at the end");
    const auto count = std::count_if(packets.begin(), packets.end(),
                                     [i](const Packet& p) { return p.Stream == i; });
    if (next[i] != static_cast<size_t>(count)) fail("packets lost");
  }
  return 0;
}
