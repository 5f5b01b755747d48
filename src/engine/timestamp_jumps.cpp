// Forward jumps of one stream's time stamps in formats that flag no
// discontinuities (Matroska, MP4, AVI): pictures ten hours ahead of the sound
// that runs on are a broken clock, not a pause, and would otherwise be
// filled with ten hours of the last picture. A gap in every stream of the
// file (a held picture over silence, a paused recording) is a pause and keeps
// its time. Which of the two it is shows only when the other streams go on,
// so the jumped stream's packets wait until then.
#include <algorithm>

#include "engine/custom_ffmpeg.h"
#include "engine/transcode_tables.h"

namespace moskvid {

namespace {

// Packets held at most while a jump is judged: then it is closed up.
constexpr size_t kMaxJumpHeld = 128;
// How far the other streams must run on past the time the stream jumped
// from, without jumping themselves, for the jump to be closed up.
constexpr int64_t kRunOn = AV_TIME_BASE;

int64_t DecodingTime(const AVPacket* packet, const TTranscodeInputStream& ist) {
  return ff::av_rescale_q(packet->dts, ist.Stream->time_base, AV_TIME_BASE_Q);
}

// Where a stream's decoding times have got to: a stream waiting at a jump
// has got past it.
int64_t ReachedTime(const TTranscodeInputStream& ist) {
  if (!ist.JumpHeld.empty()) return ist.JumpFrom + ist.JumpDelta;
  return ist.LastDts;
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
  ist.LastDts = DecodingTime(packet, ist);
  ist.NextDts = ist.LastDts;
  if (packet->duration > 0) {
    ist.NextDts += ff::av_rescale_q(packet->duration, ist.Stream->time_base, AV_TIME_BASE_Q);
  }
}

bool TCustomFFmpeg::HoldAtJump(int file, TTranscodeInputStream& ist, AVPacket* packet) {
  if (!ist.JumpHeld.empty()) {
    PacketPtr held(ff::av_packet_clone(packet));
    if (!held) throw FFMpegException("av_mallocz fail");
    ist.JumpHeld.push_back(std::move(held));
    if (ist.JumpHeld.size() >= kMaxJumpHeld) EndJump(ist, true);
    return true;
  }
  if (packet->dts == AV_NOPTS_VALUE || ist.NextDts == AV_NOPTS_VALUE) return false;
  const int64_t threshold = static_cast<int64_t>(Options.DtsDeltaThreshold * AV_TIME_BASE);
  const int64_t time = DecodingTime(packet, ist);
  if (time - ist.NextDts <= threshold) return false;
  // Ahead of the other streams of the file too? Without any, it is a pause.
  int64_t others = INT64_MIN;
  const TInputFileState& state = Tables->Files[file];
  for (int s = 0; s < state.StreamCount; ++s) {
    const TTranscodeInputStream& other = *Tables->InputStreams[state.FirstStream + s];
    const AVMediaType type = other.Stream->codecpar->codec_type;
    if (&other == &ist || (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_VIDEO)) continue;
    if (other.LastDts != AV_NOPTS_VALUE) others = std::max(others, ReachedTime(other));
  }
  if (others == INT64_MIN || time - others <= threshold) return false;
  ist.JumpDelta = time - ist.NextDts;
  ist.JumpFrom = ist.NextDts;
  PacketPtr held(ff::av_packet_clone(packet));
  if (!held) throw FFMpegException("av_mallocz fail");
  ist.JumpHeld.push_back(std::move(held));
  return true;
}

void TCustomFFmpeg::JudgeJumps(int file, const TTranscodeInputStream& by, const AVPacket* packet) {
  if (packet->dts == AV_NOPTS_VALUE) return;
  const int64_t time = DecodingTime(packet, by);
  const int64_t threshold = static_cast<int64_t>(Options.DtsDeltaThreshold * AV_TIME_BASE);
  const TInputFileState& state = Tables->Files[file];
  for (int s = 0; s < state.StreamCount; ++s) {
    TTranscodeInputStream& ist = *Tables->InputStreams[state.FirstStream + s];
    if (&ist == &by || ist.JumpHeld.empty()) continue;
    // Jumped as well: a pause of the whole file. Ran on from where the
    // stream jumped: its clock broke. Anything else may be a packet from
    // before the gap, stored late.
    if (time >= ist.JumpFrom + ist.JumpDelta - threshold) {
      EndJump(ist, false);
    } else if (time > ist.JumpFrom + kRunOn) {
      EndJump(ist, true);
    }
  }
}

void TCustomFFmpeg::EndJump(TTranscodeInputStream& ist, bool closeUp) {
  if (closeUp) {
    ist.JumpShift += ist.JumpDelta;
    LogF(0,
         "Stream #%d.%d jumps %.3f s ahead of the other streams of its file at %.3f s: the jump "
         "is closed up",
         ist.FileIndex, ist.Index, static_cast<double>(ist.JumpDelta) / AV_TIME_BASE,
         static_cast<double>(ist.JumpFrom) / AV_TIME_BASE);
  }
  std::vector<PacketPtr> held = std::move(ist.JumpHeld);
  ist.JumpHeld.clear();
  const int index = Tables->Files[ist.FileIndex].FirstStream + ist.Index;
  for (const PacketPtr& packet : held) {
    if (closeUp) ShiftPacket(packet.get(), ist.JumpDelta, ist.Stream->time_base);
    TrackDecodingTime(ist, packet.get());
    DeliverPacket(index, packet.get());
  }
}

void TCustomFFmpeg::EndJumps(int file) {
  // The other streams said nothing against the jump before their end.
  const TInputFileState& state = Tables->Files[file];
  for (int s = 0; s < state.StreamCount; ++s) {
    TTranscodeInputStream& ist = *Tables->InputStreams[state.FirstStream + s];
    if (!ist.JumpHeld.empty()) EndJump(ist, true);
  }
}

}  // namespace moskvid
