// Progress figures, the report line, the final summary and the per-frame
// video statistics file.
#include <algorithm>
#include <climits>
#include <cmath>

#include "engine/custom_ffmpeg.h"
#include "engine/option_parsing.h"
#include "engine/transcode_tables.h"

namespace moskvid {

namespace {

double Psnr(double error) {
  return -10.0 * std::log10(error);
}

}  // namespace

void TCustomFFmpeg::ReportProgress(bool last) {
  TranscodeTables& t = *Tables;
  int frameNumber = -1;
  int fps = -1;
  float quality = -1;
  std::string line;
  // A stage thread goes on writing what is read here: each figure is read
  // as it stands (they are atomic), and the file under the muxing lock, so
  // that the reading thread never waits for a picture's work.
  int64_t currentSize = 0;
  if (!OutputFiles.empty() && OutputFiles[0].Context && OutputFiles[0].Context->pb) {
    std::lock_guard<std::mutex> mux(t.MuxLock);
    AVIOContext* io = OutputFiles[0].Context->pb;
    currentSize = ff::avio_size(io);
    if (currentSize < 0) currentSize = ff::avio_seek(io, 0, SEEK_CUR);
    if (currentSize < 0) currentSize = 0;
  }

  bool seenVideo = false;
  double outputTime = -1;
  for (auto& ostPtr : t.OutputStreams) {
    TTranscodeOutputStream& ost = *ostPtr;
    const AVCodecParameters* parameters = ost.Stream->codecpar;
    const float q = ost.EncodingNeeded ? static_cast<float>(ost.LastQuality) / FF_QP2LAMBDA : -1;
    if (parameters->codec_type == AVMEDIA_TYPE_VIDEO) {
      if (seenVideo) {
        line += Format("q=%2.1f ", q);
      } else {
        seenVideo = true;
        const double elapsed =
            static_cast<double>(ff::av_gettime_relative() - t.TimerStart) / AV_TIME_BASE;
        frameNumber = ost.FrameNumber;
        // Nothing to tell before the first picture is out.
        if (frameNumber < 1) return;
        fps = elapsed > 1 ? static_cast<int>(frameNumber / elapsed + 0.5) : 0;
        quality = q;
        line += Format("frame=%5d fps=%3d q=%3.1f ", frameNumber, fps, q);
        if (last) line += "L";
        if (Options.QpHist) {
          const int qp = static_cast<int>(std::lround(q));
          if (qp >= 0 && qp < 52) QpHistogram[qp] += 1;
          for (int i = 0; i < 32; ++i) {
            line += Format("%X", static_cast<int>(std::lround(std::log2(QpHistogram[i] + 1))));
          }
        }
        if (ost.Encoder && (ost.Encoder->flags & AV_CODEC_FLAG_PSNR)) {
          line += "PSNR=";
          double errorSum = 0, scaleSum = 0;
          const char letters[3] = {'Y', 'U', 'V'};
          for (int plane = 0; plane < 3; ++plane) {
            const double error =
                static_cast<double>(last ? ost.TotalError[plane] : ost.LastError[plane]);
            double scale = static_cast<double>(ost.Encoder->width) * ost.Encoder->height * 255.0 *
                           255.0 * (last ? frameNumber : 1);
            if (plane) scale /= 4;
            errorSum += error;
            scaleSum += scale;
            line += Format("%c:%2.2f ", letters[plane], Psnr(error / scale));
          }
          line += Format("*:%2.2f ", Psnr(errorSum / scaleSum));
        }
      }
    }
    const int64_t lastDts = ost.LastMuxDts;
    if (lastDts != AV_NOPTS_VALUE) {
      const double time = static_cast<double>(lastDts) * av_q2d(ost.Stream->time_base);
      if (time > 0 && (outputTime < 0 || time < outputTime)) outputTime = time;
    }
  }
  // No stream has written anything yet: the time is the floor, not infinity.
  if (outputTime < 0.01) outputTime = 0.01;

  const double bitRate = static_cast<double>(currentSize) * 8 / outputTime / 1000;
  const long long duplicated = FramesDuplicated, dropped = FramesDropped;
  const int64_t videoSize = VideoSize, audioSize = AudioSize, extraSize = ExtraSize;
  if (ProgressHandler || Options.Verbose > 0 || last) {
    line += Format("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s",
                   static_cast<double>(currentSize) / 1024, outputTime, bitRate);
    if (Options.Verbose > 1) line += Format(" dup=%lld drop=%lld", duplicated, dropped);
    if (ProgressHandler) {
      // Milliseconds in 32 bits end after 24.8 days of output.
      const int milliseconds = static_cast<int>(std::min(outputTime * 1000, double{INT32_MAX}));
      ProgressHandler(*this, frameNumber, fps, milliseconds, quality, static_cast<float>(bitRate),
                      currentSize, TotalDuration);
    } else if (Options.Verbose >= 0) {
      Log(1, line);
    }
  }
  if (last && Options.Verbose >= 0 && LogHandler) {
    const double raw = static_cast<double>(videoSize + audioSize + extraSize);
    const double overhead = raw > 0 ? 100.0 * (static_cast<double>(currentSize) - raw) / raw : 0;
    LogF(1, "video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
         static_cast<double>(videoSize) / 1024, static_cast<double>(audioSize) / 1024,
         static_cast<double>(extraSize) / 1024, overhead);
  }
}

void TCustomFFmpeg::WriteVideoStats(TTranscodeOutputStream& ost, int frameSize) {
  AVCodecContext* enc = ost.Encoder;
  if (!enc || enc->codec_type != AVMEDIA_TYPE_VIDEO) return;
  if (!VstatsFile) {
    VstatsFile = std::fopen(Options.VstatsFilename.c_str(), "w");
    if (!VstatsFile) throw FFMpegException("fopen fail: " + Options.VstatsFilename);
  }
  std::fprintf(VstatsFile, "frame= %5d q= %2.1f ", ost.FrameNumber.load(),
               static_cast<double>(ost.LastQuality) / FF_QP2LAMBDA);
  if (enc->flags & AV_CODEC_FLAG_PSNR) {
    std::fprintf(VstatsFile, "PSNR= %6.2f ",
                 Psnr(static_cast<double>(ost.LastError[0]) /
                      (static_cast<double>(enc->width) * enc->height * 255.0 * 255.0)));
  }
  std::fprintf(VstatsFile, "f_size= %6d ", frameSize);
  double time = static_cast<double>(ost.OutputPosition) * av_q2d(enc->time_base);
  if (time < 0.01) time = 0.01;
  const double frameRate = frameSize * 8 / av_q2d(enc->time_base) / 1000;
  const double averageRate = static_cast<double>(VideoSize) * 8 / time / 1000;
  std::fprintf(VstatsFile, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
               static_cast<double>(VideoSize) / 1024, time, frameRate, averageRate);
  std::fprintf(VstatsFile, "type= %c\n",
               ff::av_get_picture_type_char(static_cast<AVPictureType>(ost.LastPictureType)));
}

}  // namespace moskvid
