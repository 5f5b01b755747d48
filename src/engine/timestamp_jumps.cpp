// Forward jumps of one stream's time stamps in formats that flag no
// discontinuities: the file's jump rule judges them (jump_rule.h); here its
// verdicts are carried out on the packets.
#include "engine/custom_ffmpeg.h"
#include "engine/transcode_tables.h"

namespace moskvid {

namespace {

int64_t Microseconds(int64_t ticks, const TTranscodeInputStream& ist) {
  return ff::av_rescale_q(ticks, ist.Stream->time_base, AV_TIME_BASE_Q);
}

}  // namespace

void ShiftPacket(AVPacket* packet, int64_t shift, AVRational timeBase) {
  if (shift == 0) return;
  const int64_t ticks = ff::av_rescale_q(shift, AV_TIME_BASE_Q, timeBase);
  if (packet->dts != AV_NOPTS_VALUE) packet->dts -= ticks;
  if (packet->pts != AV_NOPTS_VALUE) packet->pts -= ticks;
}

void TCustomFFmpeg::TrackDecodingTime(TTranscodeInputStream& ist, const AVPacket* packet) {
  if (packet->dts == AV_NOPTS_VALUE) return;
  ist.LastDts = Microseconds(packet->dts, ist);
  ist.NextDts = ist.LastDts;
  if (packet->duration > 0) ist.NextDts += Microseconds(packet->duration, ist);
}

bool TCustomFFmpeg::PassJumpRule(int file, TTranscodeInputStream& ist, AVPacket* packet) {
  TJumpRule& rule = Tables->Files[file].Jumps;
  const int64_t dts =
      packet->dts == AV_NOPTS_VALUE ? TJumpRule::kNoTime : Microseconds(packet->dts, ist);
  const TJumpRule::TStep step =
      rule.Feed(ist.Index, dts, packet->duration > 0 ? Microseconds(packet->duration, ist) : 0);
  if (step.Hold) {
    PacketPtr held(ff::av_packet_clone(packet));
    if (!held) throw FFMpegException("av_mallocz fail");
    ist.JumpHeld.push_back(std::move(held));
  }
  for (const TJumpRule::TRelease& release : step.Released)
    ReleaseHeld(file, release);
  if (step.Hold) return false;
  ShiftPacket(packet, rule.Shift(ist.Index), ist.Stream->time_base);
  return true;
}

void TCustomFFmpeg::ReleaseHeld(int file, const TJumpRule::TRelease& release) {
  const int index = Tables->Files[file].FirstStream + release.Stream;
  TTranscodeInputStream& ist = *Tables->InputStreams[index];
  if (release.ClosedUp != 0) {
    LogF(0,
         "Stream #%d.%d jumps %.3f s ahead of the other streams of its file at %.3f s: the jump "
         "is closed up",
         ist.FileIndex, ist.Index, static_cast<double>(release.ClosedUp) / AV_TIME_BASE,
         static_cast<double>(release.From) / AV_TIME_BASE);
  }
  std::vector<PacketPtr> held = std::move(ist.JumpHeld);
  ist.JumpHeld.clear();
  const int64_t shift = Tables->Files[file].Jumps.Shift(release.Stream);
  for (const PacketPtr& packet : held) {
    ShiftPacket(packet.get(), shift, ist.Stream->time_base);
    TrackDecodingTime(ist, packet.get());
    DeliverPacket(index, packet.get());
  }
}

void TCustomFFmpeg::EndJumps(int file) {
  for (const TJumpRule::TRelease& release : Tables->Files[file].Jumps.Finish())
    ReleaseHeld(file, release);
}

}  // namespace moskvid
