// The whole conversion on any small file: open it, convert at most 2 seconds
// and 100 pictures with a small profile into a file in RAM. The first byte
// picks the output (MPEG-4 and AAC in MP4, stream copy into Matroska, sound
// only into WAV), the second a few options that steer the time-stamp code
// (frame-rate method, start times, audio sync, copied time stamps); the rest
// is the input, at most 64 KiB (-max_len). One engine serves every input, set
// back to its defaults before each use, as a task's engine is. A failed
// conversion is reported, not a fault; a crash, a leak, a hang, or a
// conversion reported finished whose file does not open or runs past its
// limits is.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include "binding/entry_points.h"
#include "engine/custom_ffmpeg.h"
#include "fuzz_support.h"

using namespace moskvid;

namespace {

struct TOutput {
  const char* options;
  // How far the packets may spread, in seconds (0: not checked): the length
  // asked for, the start at a key frame before the start times, and the last
  // packet's own duration. Copied packets keep whatever presentation times
  // the input gives them, however far apart.
  double span;
};

const TOutput kOutputs[] = {
    {"f=mp4\nvcodec=mpeg4\nacodec=aac\ns=64x48\nb=200k\nar=22050\nab=32k\nsn=1", 4},
    {"f=matroska\nvcodec=copy\nacodec=copy", 0},
    {"f=wav\nvn=1\nacodec=pcm_s16le\nar=8000\nac=1", 4},
};

// The number of pictures the output options allow ("vframes=100").
constexpr int kPictures = 100;

// The options of the second byte: which frame-rate method, whether the
// output and the input start later, audio sync, copied time stamps.
std::string VariantOptions(uint8_t variant, bool input) {
  std::string text;
  if (input) {
    if (variant & 8) text += "ss=0.3\n";
    return text;
  }
  static const char* const kSync[] = {"", "vsync=0\n", "vsync=1\n", "vsync=2\n"};
  text += kSync[variant & 3];
  if (variant & 4) text += "ss=0.5\n";
  if (variant & 16) text += "async=1\n";
  if (variant & 32) text += "copyts=1\n";
  return text;
}

struct InputCloser {
  AVFormatContext* context = nullptr;
  ~InputCloser() { ff::avformat_close_input(&context); }
};

// A finished conversion's file opens, with at most the pictures asked for,
// its packets spread no further than `span`.
void CheckOutput(const std::string& path, double span) {
  InputCloser input;
  if (ff::avformat_open_input(&input.context, path.c_str(), nullptr, nullptr) < 0)
    fuzz::Fail("a conversion reported finished left a file that does not open");
  PacketPtr packet(ff::av_packet_alloc());
  double first = 1e300, last = -1e300;
  int pictures = 0;
  while (ff::av_read_frame(input.context, packet.get()) >= 0) {
    const AVStream* stream = input.context->streams[packet->stream_index];
    const int64_t stamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) ++pictures;
    if (stamp != AV_NOPTS_VALUE) {
      const double start = static_cast<double>(stamp) * av_q2d(stream->time_base);
      const double end = start + static_cast<double>(std::max<int64_t>(packet->duration, 0)) *
                                     av_q2d(stream->time_base);
      first = std::min(first, start);
      last = std::max(last, end);
    }
    ff::av_packet_unref(packet.get());
  }
  if (span > 0 && last - first > span)
    fuzz::Fail("the output spans " + std::to_string(last - first) + " s");
  if (pictures > kPictures) fuzz::Fail(std::to_string(pictures) + " pictures written");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LoadLibrariesOnce();
  static const fuzz::RamFile source("transcode-in");
  static const fuzz::RamFile target("transcode-out");
  static TCustomFFmpeg engine;
  if (size < 2) return 0;
  const TOutput& output = kOutputs[data[0] % std::size(kOutputs)];
  const uint8_t variant = data[1];
  source.Write(data + 2, size - 2);

  engine.ResetOptions();
  engine.HasException = false;
  // The defaults have no codec or stage threads, so each input runs the same
  // way every time. Only files are read, whatever a playlist in it names.
  engine.ApplyOptionText("protocol_whitelist=file\n" + VariantOptions(variant, true));
  if (!engine.OpenInputFile(source.Path())) return 0;
  try {
    engine.ApplyOptionText(std::string(output.options) + "\nt=2\nvframes=100\n" +
                           VariantOptions(variant, false));
  } catch (const FFMpegException& error) {
    fuzz::Fail(std::string("the fixed output options were refused: ") + error.what());
  }
  if (!engine.OpenOutputFile(target.Path())) {
    engine.Release();
    return 0;
  }
  engine.TranscodeRun();
  if (engine.Finished && !engine.HasException) CheckOutput(target.Path(), output.span);
  return 0;
}
