// An input opened once and handed on: by a probe that already read its
// streams, or by this engine between checking a task and running it. Reading
// a file's stream information is most of the cost of opening it (a WAV file's
// sound is probed for other codecs over its first megabytes).
#include <cstring>
#include <utility>

#include "engine/custom_ffmpeg.h"

namespace moskvid {

namespace {

// True when the demuxer takes `parameters`' entries as options of its own,
// which an open without them would leave at their defaults.
bool DemuxerTakesAny(const AVInputFormat* format, const AVDictionary* parameters) {
  if (!format || !format->priv_class) return false;
  const AVClass* demuxerClass = format->priv_class;
  const AVDictionaryEntry* entry = nullptr;
  while ((entry = ff::av_dict_get(parameters, "", entry, AV_DICT_IGNORE_SUFFIX))) {
    if (ff::av_opt_find(&demuxerClass, entry->key, nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ)) return true;
  }
  return false;
}

}  // namespace

void TCustomFFmpeg::OfferOpenedInput(InputContextPtr context, bool plain, bool formatForced) {
  offered_.Context = std::move(context);
  offered_.Plain = plain;
  offered_.FormatForced = formatForced;
}

InputContextPtr TCustomFFmpeg::DetachInput() {
  if (InputFiles.empty()) return nullptr;
  return std::move(InputFiles.front().Context);
}

InputContextPtr TCustomFFmpeg::ClaimOfferedInput(const std::string& fileName, bool forcedCodecs,
                                                 const AVDictionary* parameters) {
  OfferedInput offer = std::exchange(offered_, {});
  AVFormatContext* context = offer.Context.get();
  if (!context || !context->url || fileName != context->url) return nullptr;
  if (offer.Plain) {
    // A probe's open took no options and no interrupt callback: it stands
    // for this open only on a local file opened the same way.
    const char* protocol = ff::avio_find_protocol_name(fileName.c_str());
    if (!protocol || std::strcmp(protocol, "file") != 0 || forcedCodecs) return nullptr;
    if (offer.FormatForced ? Options.ForcedInputFormat != context->iformat
                           : Options.ForcedInputFormat != nullptr) {
      return nullptr;
    }
    for (const std::string& name : Options.OptNames) {
      if (ff::av_opt_find(FormatOpts.get(), name.c_str(), nullptr, AV_OPT_FLAG_DECODING_PARAM, 0))
        return nullptr;
    }
    if (DemuxerTakesAny(context->iformat, parameters)) return nullptr;
  }
  // What an earlier user chose to read or skip is chosen again.
  for (unsigned i = 0; i < context->nb_streams; ++i)
    context->streams[i]->discard = AVDISCARD_DEFAULT;
  for (unsigned i = 0; i < context->nb_programs; ++i)
    context->programs[i]->discard = AVDISCARD_DEFAULT;
  context->interrupt_callback = EngineInterruptCallback(this);
  return std::move(offer.Context);
}

}  // namespace moskvid
