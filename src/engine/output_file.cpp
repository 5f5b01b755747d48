// Creating output files: format choice, which stream types the output gets,
// metadata and the opening of the destination.
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "binding/my_utils.h"
#include "engine/custom_ffmpeg.h"
#include "engine/error_text.h"
#include "engine/option_parsing.h"
#include "engine/stream_choice.h"

namespace moskvid {

namespace {

// Only a name free so far or a regular file is written as a part beside it;
// a device, a pipe or a descriptor ("/dev/null", a FIFO, "/dev/stdout") is
// written as it is: a part beside it would leave its reader waiting and
// create files in /dev.
bool WrittenAsPart(const std::string& path) {
  if (path.rfind("/dev/", 0) == 0 || path.rfind("/proc/", 0) == 0) return false;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return true;
  return S_ISREG(info.st_mode);
}

}  // namespace

namespace {

std::string CreationTime(int64_t unixTime) {
  std::time_t when = static_cast<std::time_t>(unixTime);
  std::tm utc{};
  gmtime_r(&when, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &utc);
  return text;
}

void SetMetadata(AVFormatContext* context, const char* key, const std::string& value,
                 size_t limit) {
  if (value.empty()) return;
  ff::av_dict_set(&context->metadata, key, value.substr(0, limit).c_str(), 0);
}

}  // namespace

namespace {

// True when the filter graph text names one of `names`.
bool FilterListNames(const std::string& filters, std::initializer_list<const char*> names) {
  std::string rest = LowerCase(filters);
  while (!rest.empty()) {
    std::string piece = SplitAt(rest, ",", true);
    const std::string name = Trim(piece.substr(0, piece.find('=')));
    for (const char* wanted : names) {
      if (name == wanted) return true;
    }
  }
  return false;
}

}  // namespace

bool FilterListResizes(const std::string& filters) {
  return FilterListNames(filters, {"crop", "rotate", "scale", "transpose"});
}

bool FilterListDeinterlaces(const std::string& filters) {
  return FilterListNames(filters, {"yadif", "bwdif", "w3fdif", "kerndeint", "nnedi", "estdif"});
}

void TCustomFFmpeg::CheckInputStreamTypes(bool& hasVideo, bool& hasAudio, bool& hasSubtitle) {
  hasVideo = hasAudio = hasSubtitle = false;
  for (const InputFile& input : InputFiles) {
    for (unsigned i = 0; i < input.Context->nb_streams; ++i) {
      const AVStream* stream = input.Context->streams[i];
      switch (stream->codecpar->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
          // A cover stored with music is no film.
          hasVideo = hasVideo || !IsCoverPicture(stream);
          break;
        case AVMEDIA_TYPE_AUDIO:
          hasAudio = true;
          break;
        case AVMEDIA_TYPE_SUBTITLE:
          hasSubtitle = true;
          break;
        case AVMEDIA_TYPE_DATA:
        case AVMEDIA_TYPE_ATTACHMENT:
          break;
        default:
          // Streams the library cannot classify were set aside at open.
          if (stream->discard != AVDISCARD_ALL) {
            throw FFMpegException("invalid codec_type of input file");
          }
          break;
      }
    }
  }
}

bool TCustomFFmpeg::OpenOutputFile(const std::string& fileName) {
  auto fail = [this](const std::string& message) {
    ErrorText = message;
    Options.ForcedOutputFormat = nullptr;
    Options.ForcedInputFormat = nullptr;
    return false;
  };
  const bool anyCrop =
      Options.CropTop || Options.CropBottom || Options.CropLeft || Options.CropRight;
  const int padSum = Options.PadTop + Options.PadBottom + Options.PadLeft + Options.PadRight;
  if (!Options.vfilters.empty() && anyCrop) {
    return fail("Cannot enable crop options and filters at the same time.");
  }
  if (FilterListResizes(Options.vfilters) && padSum != 0) {
    return fail(
        "Cannot enable pad options and the filters which resize frame at the same time. (crop, "
        "rotate, scale, transpose, etc.)");
  }
  Options.UsingFilters = !Options.vfilters.empty();
  if (NbOutputFiles() >= kMaxFiles) {
    return fail(Format("%s: too many output files (at most %d)", fileName.c_str(), kMaxFiles));
  }

  // Step 4: the format.
  const AVOutputFormat* format = Options.ForcedOutputFormat;
  if (!format) format = ff::av_guess_format(nullptr, fileName.c_str(), nullptr);
  if (!format) {
    if (LowerCase(std::filesystem::path(fileName).extension().string()) == ".ffm") {
      return fail(Format("Server feeds are not supported: '%s'", fileName.c_str()));
    }
    return fail(Format("Unable to find a suitable output format for '%s'", fileName.c_str()));
  }
  OutputFile output;
  output.Context.reset(ff::avformat_alloc_context());
  if (!output.Context) return fail(ErrorTextForCode(fileName, AVERROR(ENOMEM), true));
  AVFormatContext* context = output.Context.get();
  context->oformat = format;
  context->url = ff::av_strdup(fileName.substr(0, 1024).c_str());
  context->interrupt_callback = EngineInterruptCallback(this);

  // Steps 6 to 8: the streams.
  bool wantVideo = Options.VideoStreamCopy || format->video_codec != AV_CODEC_ID_NONE ||
                   !Options.VideoCodecName.empty();
  bool wantAudio = Options.AudioStreamCopy || format->audio_codec != AV_CODEC_ID_NONE ||
                   !Options.AudioCodecName.empty();
  bool wantSubtitle = Options.SubtitleStreamCopy || format->subtitle_codec != AV_CODEC_ID_NONE ||
                      !Options.SubtitleCodecName.empty();
  if (!InputFiles.empty()) {
    bool hasVideo = false, hasAudio = false, hasSubtitle = false;
    try {
      CheckInputStreamTypes(hasVideo, hasAudio, hasSubtitle);
    } catch (const FFMpegException& error) {
      return fail(Format("check_audio_video_sub_inputs fail: %s", error.what()));
    }
    wantVideo = wantVideo && hasVideo;
    wantAudio = wantAudio && hasAudio;
    wantSubtitle = wantSubtitle && hasSubtitle;
  }
  struct Kind {
    bool wanted;
    bool disabled;
    void (TCustomFFmpeg::*make)(OutputFile&);
    const char* failure;
  };
  const Kind kinds[3] = {{wantVideo, Options.VideoDisable, &TCustomFFmpeg::NewVideoStream,
                          "new_video_stream fail: %s"},
                         {wantAudio, Options.AudioDisable, &TCustomFFmpeg::NewAudioStream,
                          "new_audio_stream fail: %s"},
                         {wantSubtitle, Options.SubtitleDisable, &TCustomFFmpeg::NewSubtitleStream,
                          "new_subtitle_stream fail: %s"}};
  for (const Kind& kind : kinds) {
    if (!kind.wanted || kind.disabled) continue;
    try {
      (this->*kind.make)(output);
    } catch (const FFMpegException& error) {
      return fail(Format(kind.failure, error.what()));
    }
  }

  // Steps 9 and 10: time stamp and metadata.
  if (Options.RecTimestamp != 0) {
    ff::av_dict_set(&context->metadata, "creation_time", CreationTime(Options.RecTimestamp).c_str(),
                    0);
  }
  SetMetadata(context, "title", Options.title, 511);
  SetMetadata(context, "author", Options.author, 511);
  SetMetadata(context, "copyright", Options.copyright, 511);
  SetMetadata(context, "comment", Options.comment, 511);
  SetMetadata(context, "album", Options.album, 511);
  if (Options.MetaYear > 0) SetMetadata(context, "date", std::to_string(Options.MetaYear), 31);
  if (Options.MetaTrack > 0) SetMetadata(context, "track", std::to_string(Options.MetaTrack), 31);
  SetMetadata(context, "genre", Options.genre, 31);

  // Step 12: image sequences need a number pattern.
  if ((format->flags & AVFMT_NEEDNUMBER) && ff::av_filename_number_test(fileName.c_str()) == 0) {
    return fail(ErrorTextForCode(fileName, AVERROR(EDOM), true));
  }
  // Step 13: the destination. A local file is written as a part, made when
  // the run writes the header; here only its folder is looked at, so that a
  // task waiting its turn leaves nothing on the disk.
  const char* protocol = ff::avio_find_protocol_name(fileName.c_str());
  const bool local = protocol && std::strcmp(protocol, "file") == 0;
  const std::string path = fileName.rfind("file:", 0) == 0 ? fileName.substr(5) : fileName;
  if (!(format->flags & AVFMT_NOFILE) && local && WrittenAsPart(path)) {
    output.Part = std::make_unique<TPartFile>(path);
    std::string reason;
    if (!output.Part->FolderWritable(reason)) {
      LogF(0, "%s: %s", path.c_str(), reason.c_str());
      return fail(Format("Could not open '%s'", fileName.c_str()));
    }
  } else if (!(format->flags & AVFMT_NOFILE) && local) {
    // Opened once, when the header is written: an open and close now would
    // end a pipe's reader before the run begins.
    output.OpenWithHeader = true;
  } else if ((format->flags & AVFMT_NOFILE) && local) {
    // A muxer that opens its files by itself (picture sequences): those are
    // made new as well, under a free name chosen right before the header.
    output.OwnFiles = std::make_unique<TOwnFiles>();
  } else if (!(format->flags & AVFMT_NOFILE)) {
    if (ff::avio_open(&context->pb, fileName.c_str(), AVIO_FLAG_WRITE) < 0) {
      return fail(Format("Could not open '%s'", fileName.c_str()));
    }
    output.IoOpened = true;
  }

  // Step 15: muxing parameters. Preload and looping are the muxers' own
  // options in this library generation; they are handed over with the header.
  context->max_delay = static_cast<int>(Options.MuxMaxDelay * 1000000);
  output.MuxerOptions.emplace_back(
      "preload", std::to_string(static_cast<int64_t>(Options.MuxPreload * 1000000)));
  if (Options.LoopOutput != -1) {
    output.MuxerOptions.emplace_back("loop", std::to_string(Options.LoopOutput));
  }
  ApplyGenericOptions(context, FormatOpts.get(), AV_OPT_FLAG_ENCODING_PARAM);

  OutputFiles.push_back(std::move(output));
  Options.ForcedOutputFormat = nullptr;
  Options.ForcedInputFormat = nullptr;
  return true;
}

}  // namespace moskvid
