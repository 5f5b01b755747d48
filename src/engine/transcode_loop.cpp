// The main loop: choose the input furthest behind, read a packet, correct its
// time stamps and hand it on; then drain, write trailers and close. The run
// wrapper turns every failure into a reported error.
#include <chrono>
#include <cmath>
#include <thread>

#include "engine/custom_ffmpeg.h"
#include "engine/error_text.h"
#include "engine/option_parsing.h"
#include "engine/transcode_tables.h"

namespace moskvid {

void TCustomFFmpeg::TranscodeRun() {
  TranscodePass();
  Terminate();
}

void TCustomFFmpeg::TranscodePass() {
  Finished = false;
  try {
    Transcode();
  } catch (const std::exception& error) {
    Log(-1, error.what());
    HasException = true;
    ExceptionMessage = error.what();
  } catch (...) {
    Log(-1, "Unknown error");
    HasException = true;
    ExceptionMessage = "Unknown error";
  }
  // Nothing may write while the files are closed.
  StopVideoStages();
  // A run that failed after its headers still gets trailers, so that what
  // was written stays playable.
  for (OutputFile& output : OutputFiles) {
    if (output.HeaderWritten && !output.TrailerWritten) {
      output.TrailerWritten = true;
      ff::av_write_trailer(output.Context.get());
    }
  }
  CloseAllCodecs();
  Release();
}

void TCustomFFmpeg::Transcode() {
  HasException = false;
  ExceptionMessage.clear();
  VideoSize = AudioSize = ExtraSize = 0;
  FramesDuplicated = FramesDropped = 0;
  SetupTranscode();
  RunMainLoop();
  FinishRun();
}

int TCustomFFmpeg::ChooseInputFile(double& minOutputTime) {
  TranscodeTables& t = *Tables;
  double minInputTime = 1e100;
  minOutputTime = 1e100;
  int file = -1;
  for (auto& ost : t.OutputStreams) {
    const TTranscodeInputStream& ist = *t.InputStreams[ost->SourceIndex];
    double opts = 0;
    if (ost->ReachedEnd) {
      // A stream that has all it wants must not keep the others reading.
      opts = static_cast<double>(Options.RecordingTime) / AV_TIME_BASE;
    } else if (ost->EncodingNeeded && ost->Stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
      opts = static_cast<double>(ost->OutputPosition) * av_q2d(ost->Encoder->time_base);
    } else if (const int64_t lastDts = ost->LastMuxDts; lastDts != AV_NOPTS_VALUE) {
      opts = static_cast<double>(lastDts) * av_q2d(ost->Stream->time_base);
    }
    const double ipts = static_cast<double>(ist.Pts);
    if (!t.Files[ist.FileIndex].EofReached) {
      if (ipts < minInputTime) {
        minInputTime = ipts;
        if (Options.InputSync) file = ist.FileIndex;
      }
      if (opts < minOutputTime) {
        minOutputTime = opts;
        if (!Options.InputSync) file = ist.FileIndex;
      }
    }
    const int kind = ost->Stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO   ? kVideoKind
                     : ost->Stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO ? kAudioKind
                     : ost->Stream->codecpar->codec_type == AVMEDIA_TYPE_DATA  ? kDataKind
                                                                               : kSubtitleKind;
    if (ost->FrameNumber >= Options.MaxFrames[kind]) return -1;
  }
  return file;
}

bool TCustomFFmpeg::CorrectTimestamps(int file, AVPacket* packet) {
  TranscodeTables& t = *Tables;
  TTranscodeInputStream& ist = *t.InputStreams[t.Files[file].FirstStream + packet->stream_index];
  const AVRational timeBase = ist.Stream->time_base;
  InputFile& input = InputFiles[file];

  if (packet->dts != AV_NOPTS_VALUE) {
    packet->dts += ff::av_rescale_q(input.TsOffset, AV_TIME_BASE_Q, timeBase);
  }
  if (packet->pts != AV_NOPTS_VALUE) {
    packet->pts += ff::av_rescale_q(input.TsOffset, AV_TIME_BASE_Q, timeBase);
  }
  const double scale = input.TsScale[packet->stream_index];
  if (scale != 0) {
    if (packet->dts != AV_NOPTS_VALUE) packet->dts = std::llround(packet->dts * scale);
    if (packet->pts != AV_NOPTS_VALUE) packet->pts = std::llround(packet->pts * scale);
  }

  // Discontinuities are measured on the decoding time stamps of the stream.
  // Only formats whose clock may restart have them; elsewhere a long gap is
  // a pause (a held picture, the silence between two subtitle lines).
  const AVMediaType type = ist.Stream->codecpar->codec_type;
  const bool mayJump = (input.Context->iformat->flags & AVFMT_TS_DISCONT) &&
                       (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO);
  if (mayJump && packet->dts != AV_NOPTS_VALUE && ist.NextDts != AV_NOPTS_VALUE) {
    const int64_t packetDts = ff::av_rescale_q(packet->dts, timeBase, AV_TIME_BASE_Q);
    const int64_t delta = packetDts - ist.NextDts;
    const bool jump =
        std::llabs(delta) > Options.DtsDeltaThreshold * AV_TIME_BASE || packetDts + 1 < ist.LastDts;
    if (jump && !Options.CopyTs) {
      input.TsOffset -= delta;
      if (Options.Verbose > 2) {
        LogF(1, "timestamp discontinuity %lld, new offset= %lld", static_cast<long long>(delta),
             static_cast<long long>(input.TsOffset));
      }
      ShiftPacket(packet, delta, timeBase);
    }
  }
  const bool av = type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO;
  if (av && !mayJump && !Options.CopyTs && !PassJumpRule(file, ist, packet)) return false;
  TrackDecodingTime(ist, packet);
  return true;
}

void TCustomFFmpeg::RunMainLoop() {
  TranscodeTables& t = *Tables;
  PacketPtr packet(ff::av_packet_alloc());
  if (!packet) throw FFMpegException("av_mallocz fail");

  while (!StopRequested) {
    if (!WaitWhilePaused()) break;
    double minOutputTime = 0;
    const int file = ChooseInputFile(minOutputTime);
    if (file < 0) break;
    if (minOutputTime >= static_cast<double>(Options.RecordingTime) / AV_TIME_BASE) break;
    AVFormatContext* first = OutputFiles[0].Context.get();
    if (Options.LimitFilesize != 0 && first->pb) {
      std::unique_lock<std::mutex> mux(t.MuxLock);
      if (Options.LimitFilesize < ff::avio_seek(first->pb, 0, SEEK_CUR)) break;
    }

    AVFormatContext* input = InputFiles[file].Context.get();
    const int result = ff::av_read_frame(input, packet.get());
    if (result == AVERROR(EAGAIN)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    if (result < 0) {
      if (result != AVERROR_EOF && result != AVERROR_EXIT && Options.Verbose >= 0) {
        LogF(0, "Error while reading %s: %s", input->url, LibraryErrorText(result).c_str());
      }
      t.Files[file].EofReached = true;
      EndJumps(file);
      if (Options.OptShortest) break;
      continue;
    }
    if (Options.DoPktDump) {
      ff::av_pkt_dump_log2(nullptr, AV_LOG_INFO, packet.get(), Options.DoHexDump ? 1 : 0,
                           input->streams[packet->stream_index]);
    }

    const int stream = packet->stream_index;
    const bool known = stream < t.Files[file].StreamCount;
    const int index = t.Files[file].FirstStream + stream;
    if (known && !t.InputStreams[index]->Discard && CorrectTimestamps(file, packet.get()) &&
        !DeliverPacket(index, packet.get())) {
      ff::av_packet_unref(packet.get());
      continue;
    }
    ff::av_packet_unref(packet.get());

    const int64_t now = ff::av_gettime_relative();
    if (now - t.LastReportTime > ProgressIntervalUs) {
      t.LastReportTime = now;
      ReportProgress(false);
    }
  }
}

bool TCustomFFmpeg::DeliverPacket(int index, AVPacket* packet) {
  if (ProcessInputPacket(index, packet) >= 0) return true;
  const TTranscodeInputStream& ist = *Tables->InputStreams[index];
  // A decoder that refused a picture size forgets its size: pictures that
  // big come only from a damaged file, and the rest of it is no better.
  if (ist.Decoder && ist.Decoder->codec_type == AVMEDIA_TYPE_VIDEO && ist.Decoder->width == 0 &&
      ist.Stream->codecpar->width > 0) {
    throw FFMpegException(
        Format("Stream #%d.%d: a picture beyond 8192x8192 pixels, larger than "
               "any video: the file is damaged",
               ist.FileIndex, ist.Index));
  }
  const std::string message =
      Format("Error while decoding stream #%d.%d", ist.FileIndex, packet->stream_index);
  if (Options.ExitOnError) throw FFMpegException(message);
  if (Options.Verbose >= 0) Log(1, message);
  return false;
}

void TCustomFFmpeg::FinishRun() {
  TranscodeTables& t = *Tables;
  // Packets held back at a jump still to be judged go on as the jump ends.
  for (int file = 0; file < NbInputFiles(); ++file)
    EndJumps(file);
  for (size_t i = 0; i < t.InputStreams.size(); ++i) {
    if (t.InputStreams[i]->DecodingNeeded) ProcessInputPacket(static_cast<int>(i), nullptr);
  }
  for (auto& ost : t.OutputStreams)
    DrainBitstreamFilters(*ost);
  for (OutputFile& output : OutputFiles) {
    output.TrailerWritten = true;
    const int result = ff::av_write_trailer(output.Context.get());
    if (result < 0) {
      throw FFMpegException(ErrorTextForCode("av_write_trailer()", result, true) + " (" +
                            LibraryErrorText(result) + ")");
    }
  }
  ReportProgress(true);
  CheckEveryStreamWritten();
  CloseAllCodecs();
  Finished = !StopRequested;
  Tables.reset();
}

}  // namespace moskvid
