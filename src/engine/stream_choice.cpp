#include "engine/stream_choice.h"

#include <cmath>
#include <cstdlib>

#include "binding/entry_points.h"

namespace moskvid {

namespace {

// An angle in degrees as the nearest quarter turn in 0..270, or -1 when it
// is more than a degree away from one.
int QuarterTurn(double degrees) {
  double normalised = std::fmod(degrees, 360.0);
  if (normalised < 0) normalised += 360.0;
  const double quarters = std::nearbyint(normalised / 90.0);
  if (std::fabs(normalised - quarters * 90.0) > 1.0) return -1;
  return static_cast<int>(quarters) % 4 * 90;
}

}  // namespace

bool IsCoverPicture(const AVStream* stream) {
  return stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
         (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
}

int FilmVideoStream(const AVFormatContext* context) {
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    const AVStream* stream = context->streams[i];
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !IsCoverPicture(stream)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

int CoverPictureStream(const AVFormatContext* context) {
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    if (IsCoverPicture(context->streams[i])) return static_cast<int>(i);
  }
  return -1;
}

int AudioTrackCount(const AVFormatContext* context) {
  int count = 0;
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    if (context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) ++count;
  }
  return count;
}

int ChooseAudioStream(const AVFormatContext* context, int track) {
  int number = 0;
  int marked = -1, widest = -1, widestChannels = 0;
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    const AVStream* stream = context->streams[i];
    if (stream->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
    ++number;
    if (track > 0) {
      if (number == track) return static_cast<int>(i);
      continue;
    }
    if (marked < 0 && (stream->disposition & AV_DISPOSITION_DEFAULT)) marked = static_cast<int>(i);
    const int channels = stream->codecpar->ch_layout.nb_channels;
    if (widest < 0 || channels > widestChannels) {
      widest = static_cast<int>(i);
      widestChannels = channels;
    }
  }
  if (track > 0) return -1;
  // Several tracks all marked default (some muxers mark every one) say nothing.
  int markedCount = 0;
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    const AVStream* stream = context->streams[i];
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO &&
        (stream->disposition & AV_DISPOSITION_DEFAULT)) {
      ++markedCount;
    }
  }
  if (marked >= 0 && markedCount < number) return marked;
  return widest;
}

int DisplayRotation(const AVStream* stream) {
  size_t size = 0;
  const uint8_t* matrix = ff::av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
  if (matrix && size >= 9 * sizeof(int32_t)) {
    const double counterclockwise =
        ff::av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (std::isnan(counterclockwise)) return 0;
    const int turn = QuarterTurn(-counterclockwise);
    return turn < 0 ? 0 : turn;
  }
  if (const AVDictionaryEntry* tag = ff::av_dict_get(stream->metadata, "rotate", nullptr, 0)) {
    char* end = nullptr;
    const double degrees = std::strtod(tag->value, &end);
    if (end != tag->value) {
      const int turn = QuarterTurn(degrees);
      return turn < 0 ? 0 : turn;
    }
  }
  return 0;
}

}  // namespace moskvid
