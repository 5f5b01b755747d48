// Generic options: names that no named option takes are looked up in the
// library's own option contexts (codec, format, scaler).
#include "binding/media_loader.h"
#include "engine/custom_ffmpeg.h"
#include "engine/option_parsing.h"

namespace moskvid {

namespace {

// Sets a value the library found an option for; a value it refuses is an
// error, not a silently different encode.
void SetFoundOption(void* context, const char* name, const std::string& value) {
  if (ff::av_opt_set(context, name, value.c_str(), 0) < 0) {
    throw FFMpegException(Format("Invalid value '%s' for option '%s'", value.c_str(), name));
  }
}

bool DefinedBy(const AVClass* privateClass, const char* name) {
  return privateClass && ff::av_opt_find(&privateClass, name, nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ);
}

// Whether some encoder, decoder, muxer or demuxer of the libraries has an
// option of this name, which it gets when the conversion uses it.
bool SomeComponentDefines(const char* name) {
  void* state = nullptr;
  while (const AVCodec* codec = ff::av_codec_iterate(&state)) {
    if (DefinedBy(codec->priv_class, name)) return true;
  }
  state = nullptr;
  while (const AVOutputFormat* format = ff::av_muxer_iterate(&state)) {
    if (DefinedBy(format->priv_class, name)) return true;
  }
  state = nullptr;
  while (const AVInputFormat* format = ff::av_demuxer_iterate(&state)) {
    if (DefinedBy(format->priv_class, name)) return true;
  }
  return false;
}

}  // namespace

bool TCustomFFmpeg::SetGenericOption(const std::string& rawName, const std::string& rawValue) {
  const std::string name = Trim(rawName);
  const std::string value = Trim(rawValue);
  if (name.empty() || value.empty() || !CodecOpts[0]) return false;

  static constexpr int kMasks[5] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0,
                                    AV_OPT_FLAG_SUBTITLE_PARAM, 0};
  const AVOption* option = nullptr;
  for (int kind = 0; kind < 5; ++kind) {
    const AVOption* found =
        ff::av_opt_find(CodecOpts[0].get(), name.c_str(), nullptr, kMasks[kind], 0);
    if (!found) continue;
    SetFoundOption(CodecOpts[kind].get(), found->name, value);
    option = found;
  }
  if (!option) {
    option = ff::av_opt_find(FormatOpts.get(), name.c_str(), nullptr, 0, 0);
    if (option) SetFoundOption(FormatOpts.get(), option->name, value);
  }
  if (!option && ScalerOpts) {
    option = ff::av_opt_find(ScalerOpts.get(), name.c_str(), nullptr, 0, 0);
    if (option) SetFoundOption(ScalerOpts.get(), option->name, value);
  }
  if (!option && name.size() > 1 && (name[0] == 'a' || name[0] == 'v' || name[0] == 's')) {
    AVCodecContext* context =
        CodecOpts[name[0] == 'a' ? kAudioKind : (name[0] == 'v' ? kVideoKind : kSubtitleKind)]
            .get();
    option = ff::av_opt_find(context, name.c_str() + 1, nullptr, 0, 0);
    if (option) SetFoundOption(context, option->name, value);
  }
  if (!option) {
    // Many encoder and muxer settings are their own private options now;
    // keep the pair for the ones that define it.
    if (SomeComponentDefines(name.c_str())) {
      Options.PrivateOptions.emplace_back(name, value);
    } else {
      Log(0, "Unrecognized option '" + name + "' ignored");
    }
    return false;
  }

  Options.OptNames.emplace_back(option->name);
  if (CodecOpts[kVideoKind]->debug != 0 || FormatOpts->debug != 0) {
    Options.Verbose = 2;
    ff::av_log_set_level(AV_LOG_DEBUG);
    binding::SetSavedLogLevel(AV_LOG_DEBUG);
  }
  return true;
}

bool TCustomFFmpeg::SetGenericOptionInt(const std::string& name, int value) {
  return SetGenericOption(name, std::to_string(value));
}

void TCustomFFmpeg::ApplyGenericOptions(void* target, void* source, int flags) {
  if (!target || !source) return;
  for (const std::string& name : Options.OptNames) {
    const AVOption* option = ff::av_opt_find(source, name.c_str(), nullptr, flags, 0);
    if (!option) continue;
    uint8_t* value = nullptr;
    if (ff::av_opt_get(source, name.c_str(), 0, &value) >= 0 && value) {
      ff::av_opt_set(target, name.c_str(), reinterpret_cast<const char*>(value), 0);
    }
    ff::av_free(value);
  }
}

}  // namespace moskvid
