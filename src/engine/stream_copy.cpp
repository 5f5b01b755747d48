// Stream copy: packets go to the output as they are but for their times,
// from the key frame at the start to the end of the span asked for.
#include <algorithm>
#include <vector>

#include "engine/custom_ffmpeg.h"
#include "engine/option_parsing.h"
#include "engine/transcode_tables.h"

namespace moskvid {

namespace {

// How much video is held back at most while the copy waits for its start:
// beyond it, the key frame before the start is given up for the next one.
constexpr int64_t kMaxHeldSeconds = 30;
constexpr int64_t kMaxHeldBytes = int64_t{64} << 20;

// The packet's presentation time in microseconds, else its decoding time,
// else the stream's clock.
int64_t PacketTime(const AVPacket* packet, const TTranscodeInputStream& ist) {
  const int64_t stamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
  if (stamp == AV_NOPTS_VALUE) return ist.Pts;
  return ff::av_rescale_q(stamp, ist.Stream->time_base, AV_TIME_BASE_Q);
}

// Held packets without a decoding time get one, counted back from the packet
// after them a duration at a time and never after their own presentation
// time, so that the muxer sees decoding times that increase. (Otherwise all
// would take the clock of the packet that ends the wait.)
void FillDecodingTimes(std::vector<PacketPtr>& held, const AVPacket* next) {
  int64_t following = next->dts != AV_NOPTS_VALUE ? next->dts : next->pts;
  if (following == AV_NOPTS_VALUE) return;
  for (auto packet = held.rbegin(); packet != held.rend(); ++packet) {
    AVPacket* p = packet->get();
    if (p->dts == AV_NOPTS_VALUE) {
      p->dts = following - std::max<int64_t>(p->duration, 1);
      if (p->pts != AV_NOPTS_VALUE) p->dts = std::min(p->dts, p->pts);
    }
    following = p->dts;
  }
}

int KindOf(AVMediaType type) {
  switch (type) {
    case AVMEDIA_TYPE_VIDEO:
      return kVideoKind;
    case AVMEDIA_TYPE_AUDIO:
      return kAudioKind;
    case AVMEDIA_TYPE_DATA:
      return kDataKind;
    default:
      return kSubtitleKind;
  }
}

}  // namespace

void TCustomFFmpeg::CopyPacket(TTranscodeOutputStream& ost, TTranscodeInputStream& ist,
                               const AVPacket* packet) {
  const int64_t start = OutputStartOf(ist);
  if (start == INT64_MIN || ost.CopyStarted) {
    WriteCopiedPacket(ost, ist, packet);
    return;
  }
  // Copied video can only begin at a key frame: the last one at or before
  // the start, with every packet after it.
  const bool video = ist.Stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
  const bool key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
  const int64_t time = PacketTime(packet, ist);
  if (video && key) {
    ost.HeldPackets.clear();
    ost.HeldBytes = 0;
    ost.HeldFrom = time;
  }
  if (time < start) {
    if (!video || (!key && ost.HeldPackets.empty())) return;
    if (time - ost.HeldFrom > kMaxHeldSeconds * AV_TIME_BASE ||
        ost.HeldBytes + packet->size > kMaxHeldBytes) {
      ost.HeldPackets.clear();
      ost.HeldBytes = 0;
      if (!ost.HeldGivenUp) {
        ost.HeldGivenUp = true;
        LogF(0,
             "Stream #%d.%d has no key frame within %lld s before the start: the copy begins at "
             "the next key frame",
             ist.FileIndex, ist.Index, static_cast<long long>(kMaxHeldSeconds));
      }
      return;
    }
    PacketPtr held(ff::av_packet_clone(packet));
    if (!held) throw FFMpegException("av_mallocz fail");
    ost.HeldBytes += packet->size;
    ost.HeldPackets.push_back(std::move(held));
    return;
  }
  ost.CopyStarted = true;
  std::vector<PacketPtr> held = std::move(ost.HeldPackets);
  ost.HeldPackets.clear();
  ost.HeldBytes = 0;
  FillDecodingTimes(held, packet);
  for (const PacketPtr& earlier : held)
    WriteCopiedPacket(ost, ist, earlier.get());
  WriteCopiedPacket(ost, ist, packet);
}

void TCustomFFmpeg::WriteCopiedPacket(TTranscodeOutputStream& ost, TTranscodeInputStream& ist,
                                      const AVPacket* packet) {
  if (ost.FrameNumber == 0 && !(packet->flags & AV_PKT_FLAG_KEY)) return;
  // The end is cut in decode order: after the first packet shown at or after
  // it nothing more is written. Pictures that follow it in decode order but
  // show before the end may refer to it; what is written refers only to what
  // was written before, so every picture decodes.
  if (ost.ReachedEnd) return;
  const AVRational inBase = ist.Stream->time_base;
  const AVRational outBase = ost.Stream->time_base;
  // The output's time starts at the start time; nothing past the recording
  // time, and no more packets than the frame limit, are written.
  const int64_t start = Options.InputStartTime;
  const AVMediaType type = ist.Stream->codecpar->codec_type;
  if (PacketTime(packet, ist) - start >= Options.RecordingTime ||
      ost.FrameNumber >= Options.MaxFrames[KindOf(type)]) {
    ost.ReachedEnd = true;
    return;
  }
  const int64_t shift = ff::av_rescale_q(start, AV_TIME_BASE_Q, outBase);
  if (type == AVMEDIA_TYPE_AUDIO) {
    AudioSize += packet->size;
  } else if (type == AVMEDIA_TYPE_VIDEO) {
    VideoSize += packet->size;
    ost.OutputPosition += 1;
  }
  AVPacket* out = Tables->CopiedPacket.get();
  if (ff::av_packet_ref(out, packet) < 0) throw FFMpegException("av_mallocz fail");
  out->stream_index = ost.Stream->index;
  out->pts = packet->pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE
                                           : ff::av_rescale_q(packet->pts, inBase, outBase) - shift;
  out->dts = (packet->dts == AV_NOPTS_VALUE ? ff::av_rescale_q(ist.Pts, AV_TIME_BASE_Q, outBase)
                                            : ff::av_rescale_q(packet->dts, inBase, outBase)) -
             shift;
  out->duration = ff::av_rescale_q(packet->duration, inBase, outBase);
  out->pos = -1;
  WritePacket(ost, out);
  ff::av_packet_unref(out);
  ost.FrameNumber += 1;
}

}  // namespace moskvid
