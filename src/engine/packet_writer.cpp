// Encoded and copied packets on their way to the muxer: bit-stream filters,
// statistics of the encoder, and the interleaved write.
#include <cstring>

#include "engine/custom_ffmpeg.h"
#include "engine/error_text.h"
#include "engine/option_parsing.h"
#include "engine/transcode_tables.h"

namespace moskvid {

namespace {

// Quality, picture type and per-plane errors the encoder attached to a packet.
void ReadQualityStats(TTranscodeOutputStream& ost, const AVPacket* packet) {
  size_t size = 0;
  const uint8_t* data = ff::av_packet_get_side_data(packet, AV_PKT_DATA_QUALITY_STATS, &size);
  if (!data || size < 6) return;
  ost.LastQuality = static_cast<int>(data[0] | (data[1] << 8) | (data[2] << 16) |
                                     (static_cast<uint32_t>(data[3]) << 24));
  ost.LastPictureType = static_cast<char>(data[4]);
  const int errors = std::min<int>(data[5], 4);
  for (int i = 0; i < errors && 8 + 8 * (i + 1) <= static_cast<int>(size); ++i) {
    uint64_t error = 0;
    std::memcpy(&error, data + 8 + 8 * i, sizeof error);
    ost.LastError[i] = error;
    ost.TotalError[i] += error;
  }
}

}  // namespace

void TCustomFFmpeg::InitBitstreamFilters(TTranscodeOutputStream& ost) {
  for (BsfContextPtr& filter : ost.BitstreamFilters) {
    if (ff::avcodec_parameters_copy(filter->par_in, ost.Stream->codecpar) < 0) {
      throw FFMpegException("av_mallocz fail");
    }
    filter->time_base_in = ost.Stream->time_base;
    if (ff::av_bsf_init(filter.get()) < 0) {
      throw FFMpegException(
          Format("Error initializing bitstream filter: %s", filter->filter->name));
    }
    // What the chain puts out is what the muxer gets.
    if (ff::avcodec_parameters_copy(ost.Stream->codecpar, filter->par_out) < 0) {
      throw FFMpegException("av_mallocz fail");
    }
  }
}

void TCustomFFmpeg::WritePacket(TTranscodeOutputStream& ost, AVPacket* packet) {
  FilterAndWrite(ost, packet, 0);
}

void TCustomFFmpeg::BitstreamFilterFailed(TTranscodeOutputStream& ost, size_t index, int stream,
                                          int result) {
  const AVBSFContext* filter = ost.BitstreamFilters[index].get();
  const std::string text = Format("%s failed for stream %d, codec %s", filter->filter->name, stream,
                                  ost.EncodingNeeded ? ost.Codec->name : "copy");
  const std::string message = ErrorTextForCode(text, result, true);
  if (Options.ExitOnError) throw FFMpegException(message);
  Log(0, message);
}

void TCustomFFmpeg::ReceiveFiltered(TTranscodeOutputStream& ost, size_t index) {
  AVBSFContext* filter = ost.BitstreamFilters[index].get();
  PacketPtr output(ff::av_packet_alloc());
  if (!output) throw FFMpegException("av_mallocz fail");
  for (;;) {
    const int result = ff::av_bsf_receive_packet(filter, output.get());
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return;
    if (result < 0) {
      BitstreamFilterFailed(ost, index, ost.Stream->index, result);
      return;
    }
    FilterAndWrite(ost, output.get(), index + 1);
    ff::av_packet_unref(output.get());
  }
}

void TCustomFFmpeg::DrainBitstreamFilters(TTranscodeOutputStream& ost) {
  // Filters that merge or rechunk packets hold the last ones until the end;
  // what each gives out then still passes the filters after it.
  for (size_t index = 0; index < ost.BitstreamFilters.size(); ++index) {
    const int sent = ff::av_bsf_send_packet(ost.BitstreamFilters[index].get(), nullptr);
    if (sent < 0 && sent != AVERROR_EOF) {
      BitstreamFilterFailed(ost, index, ost.Stream->index, sent);
      continue;
    }
    ReceiveFiltered(ost, index);
  }
}

void TCustomFFmpeg::FilterAndWrite(TTranscodeOutputStream& ost, AVPacket* packet, size_t index) {
  // A packet is timed in the stream's base, and after each filter in that
  // filter's own: pcm_rechunk, for one, counts in samples.
  const AVRational base =
      index == 0 ? ost.Stream->time_base : ost.BitstreamFilters[index - 1]->time_base_out;
  if (index < ost.BitstreamFilters.size()) {
    AVBSFContext* filter = ost.BitstreamFilters[index].get();
    PacketPtr input(ff::av_packet_alloc());
    if (!input || ff::av_packet_ref(input.get(), packet) < 0)
      throw FFMpegException("av_mallocz fail");
    ff::av_packet_rescale_ts(input.get(), base, filter->time_base_in);
    const int sent = ff::av_bsf_send_packet(filter, input.get());
    if (sent < 0) {
      BitstreamFilterFailed(ost, index, packet->stream_index, sent);
      // The packet goes on as it was.
      ff::av_packet_rescale_ts(input.get(), filter->time_base_in, filter->time_base_out);
      FilterAndWrite(ost, input.get(), index + 1);
      return;
    }
    ReceiveFiltered(ost, index);
    return;
  }

  ff::av_packet_rescale_ts(packet, base, ost.Stream->time_base);
  const int64_t stamp = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
  if (stamp != AV_NOPTS_VALUE) {
    ost.LastMuxDts = stamp + (packet->duration > 0 ? packet->duration : 0);
  }
  AVFormatContext* context = OutputFiles[ost.FileIndex].Context.get();
  std::unique_lock<std::mutex> mux(Tables->MuxLock);
  const int result = ff::av_interleaved_write_frame(context, packet);
  // The picture stage and the sound path write to one file side by side.
  if (result >= 0) ++OutputFiles[ost.FileIndex].PacketsWritten;
  mux.unlock();
  if (result < 0) {
    const OutputFile& output = OutputFiles[ost.FileIndex];
    const std::string refused = output.OwnFiles ? output.OwnFiles->Refused() : "";
    if (!refused.empty()) throw FFMpegException(refused);
    throw FFMpegException(ErrorTextForCode("av_interleaved_write_frame()", result, true) + " (" +
                          LibraryErrorText(result) + ")");
  }
  ++ost.PacketsWritten;
}

void TCustomFFmpeg::CheckEveryStreamWritten() {
  if (StopRequested) return;
  for (const auto& ost : Tables->OutputStreams) {
    const AVMediaType type = ost->Stream->codecpar->codec_type;
    // Subtitles may well have nothing in the converted span.
    if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) continue;
    const int kind = type == AVMEDIA_TYPE_VIDEO ? kVideoKind : kAudioKind;
    if (ost->PacketsWritten > 0 || Options.MaxFrames[kind] <= 0) continue;
    OutputFile& output = OutputFiles[ost->FileIndex];
    output.Discard = true;
    throw FFMpegException(Format("No %s packet was written to %s (stream #%d.%d from #%d.%d)",
                                 type == AVMEDIA_TYPE_VIDEO ? "video" : "audio",
                                 output.Context->url, ost->FileIndex, ost->Index,
                                 ost->SyncInput ? ost->SyncInput->FileIndex : -1,
                                 ost->SyncInput ? ost->SyncInput->Index : -1));
  }
  // An output with nothing in it at all (say, subtitles without a line) is
  // no conversion either; Matroska writes a file not even it can open.
  for (OutputFile& output : OutputFiles) {
    bool written = false;
    for (const auto& ost : Tables->OutputStreams) {
      if (&OutputFiles[ost->FileIndex] == &output && ost->PacketsWritten > 0) written = true;
    }
    if (written || output.Streams.empty()) continue;
    output.Discard = true;
    throw FFMpegException(Format("No packet was written to %s", output.Context->url));
  }
}

int TCustomFFmpeg::EncodeAndWrite(TTranscodeOutputStream& ost, const AVFrame* frame) {
  AVCodecContext* enc = ost.Encoder;
  const char* failure =
      enc->codec_type == AVMEDIA_TYPE_VIDEO ? "Video encoding failed" : "Audio encoding failed";
  if (!ost.EncodedPacket) {
    ost.EncodedPacket.reset(ff::av_packet_alloc());
    if (!ost.EncodedPacket) throw FFMpegException("av_mallocz fail");
  }
  AVPacket* packet = ost.EncodedPacket.get();
  int lastSize = 0;
  auto writeReady = [&]() {
    for (;;) {
      const int received = ff::avcodec_receive_packet(enc, packet);
      if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return;
      if (received < 0) throw FFMpegException(failure);
      ReadQualityStats(ost, packet);
      if (ost.PassLog && enc->stats_out) std::fputs(enc->stats_out, ost.PassLog);
      lastSize = packet->size;
      if (enc->codec_type == AVMEDIA_TYPE_VIDEO) {
        VideoSize += packet->size;
      } else {
        AudioSize += packet->size;
      }
      ff::av_packet_rescale_ts(packet, enc->time_base, ost.Stream->time_base);
      packet->stream_index = ost.Stream->index;
      WritePacket(ost, packet);
      ff::av_packet_unref(packet);
    }
  };
  int sent = ff::avcodec_send_frame(enc, frame);
  while (sent == AVERROR(EAGAIN)) {
    writeReady();
    sent = ff::avcodec_send_frame(enc, frame);
  }
  if (sent < 0 && sent != AVERROR_EOF) throw FFMpegException(failure);
  writeReady();
  return lastSize;
}

}  // namespace moskvid
