// The transcode set-up: tables, stream pairing, copy-or-encode decisions,
// codec opening, two-pass logs, metadata maps and headers.
#include <algorithm>
#include <cstring>

#include "engine/cover_picture.h"
#include "engine/custom_ffmpeg.h"
#include "engine/error_text.h"
#include "engine/filter_chain.h"
#include "engine/option_parsing.h"
#include "engine/source_tags.h"
#include "engine/stream_choice.h"
#include "engine/transcode_tables.h"

namespace moskvid {

namespace {

// Copies the private options that this codec or muxer defines.
DictionaryPtr PrivateOptionsFor(const AVClass* const* privateClass,
                                const std::vector<std::pair<std::string, std::string>>& pairs) {
  AVDictionary* dictionary = nullptr;
  for (const auto& [name, value] : pairs) {
    if (privateClass && *privateClass &&
        ff::av_opt_find(const_cast<const AVClass**>(privateClass), name.c_str(), nullptr, 0,
                        AV_OPT_SEARCH_FAKE_OBJ)) {
      ff::av_dict_set(&dictionary, name.c_str(), value.c_str(), 0);
    }
  }
  return DictionaryPtr(dictionary);
}

// Copies the stream side data of `from` of `type` (every type with
// AV_PKT_DATA_NB) to `to`.
void CopyStreamSideData(const AVStream* from, AVStream* to, AVPacketSideDataType type) {
  for (int i = 0; i < from->nb_side_data; ++i) {
    const AVPacketSideData& data = from->side_data[i];
    if (type != AV_PKT_DATA_NB && data.type != type) continue;
    uint8_t* copy = ff::av_stream_new_side_data(to, data.type, data.size);
    if (!copy) throw FFMpegException("av_mallocz fail");
    std::memcpy(copy, data.data, data.size);
  }
}

void CopyMetadataKeys(AVDictionary* from, AVDictionary** to) {
  static const char* const kKeys[] = {"title", "author", "artist", "copyright", "comment",
                                      "album", "date",   "year",   "track",     "genre"};
  for (const char* key : kKeys) {
    const AVDictionaryEntry* entry = ff::av_dict_get(from, key, nullptr, 0);
    if (entry) ff::av_dict_set(to, key, entry->value, 0);
  }
}

}  // namespace

TranscodeTables::TranscodeTables()
    : DecodedFrame(ff::av_frame_alloc()),
      FilteredFrame(ff::av_frame_alloc()),
      CopiedPacket(ff::av_packet_alloc()) {
  if (!DecodedFrame || !FilteredFrame || !CopiedPacket) {
    throw FFMpegException("av_mallocz fail");
  }
}

TTranscodeOutputStream::~TTranscodeOutputStream() {
  if (PassLog) std::fclose(PassLog);
  // The second pass's statistics belong to us, not to the encoder.
  if (Encoder) ff::av_freep(&Encoder->stats_in);
  ff::av_channel_layout_uninit(&ResamplerInLayout);
}

void TCustomFFmpeg::SetupTranscode() {
  Tables = std::make_unique<TranscodeTables>();
  TranscodeTables& t = *Tables;

  // Steps 1 and 2: input files and streams.
  int total = 0;
  for (int f = 0; f < NbInputFiles(); ++f) {
    TInputFileState state;
    state.FirstStream = total;
    state.StreamCount = static_cast<int>(InputFiles[f].Context->nb_streams);
    total += state.StreamCount;
    state.Jumps = TJumpRule(state.StreamCount,
                            static_cast<int64_t>(Options.DtsDeltaThreshold * AV_TIME_BASE));
    t.Files.push_back(std::move(state));
  }
  for (int f = 0; f < NbInputFiles(); ++f) {
    AVFormatContext* context = InputFiles[f].Context.get();
    for (unsigned s = 0; s < context->nb_streams; ++s) {
      auto ist = std::make_unique<TTranscodeInputStream>();
      ist->FileIndex = f;
      ist->Index = static_cast<int>(s);
      ist->Stream = context->streams[s];
      ist->Decoder = InputFiles[f].Decoders[s].get();
      ist->RateEmu = InputFiles[f].RateEmu;
      if (ist->RateEmu) ist->RateEmuStart = ff::av_gettime();
      t.InputStreams.push_back(std::move(ist));
    }
  }
  // Before any output is written: a start no input reaches would give an
  // empty file that looks like a conversion.
  CheckStartPositions();

  // Steps 3 to 5: counts and maps.
  int outputCount = 0;
  for (const OutputFile& output : OutputFiles) {
    if (output.Streams.empty()) throw FFMpegException("Output file does not contain any stream");
    outputCount += static_cast<int>(output.Streams.size());
  }
  const auto& maps = Options.StreamMapList;
  if (!maps.empty() && static_cast<int>(maps.size()) != outputCount) {
    throw FFMpegException("Number of stream maps must match number of output streams");
  }
  for (const StreamMap& map : maps) {
    if (map.File < 0 || map.File >= NbInputFiles() || map.Stream < 0 ||
        map.Stream >= t.Files[map.File].StreamCount) {
      throw FFMpegException(Format("Could not find input stream #%d.%d", map.File, map.Stream));
    }
    if (map.SyncFile < 0 || map.SyncFile >= NbInputFiles() || map.SyncStream < 0 ||
        map.SyncStream >= t.Files[map.SyncFile].StreamCount) {
      throw FFMpegException(
          Format("Could not find sync stream #%d.%d", map.SyncFile, map.SyncStream));
    }
  }

  // Steps 6 and 7: output streams and their sources.
  PairOutputStreams();

  // Step 8: copy or encode.
  for (auto& ost : t.OutputStreams)
    PrepareOutputStream(*ost);

  // Steps 10 and 11: what goes where.
  for (int f = 0; f < NbOutputFiles(); ++f) {
    ff::av_dump_format(OutputFiles[f].Context.get(), f, OutputFiles[f].Context->url, 1);
  }
  if (Options.Verbose >= 0 && LogHandler) {
    Log(1, "Stream mapping:");
    for (auto& ost : t.OutputStreams) {
      const TTranscodeInputStream& ist = *t.InputStreams[ost->SourceIndex];
      LogF(1, "  Stream #%d.%d -> #%d.%d", ist.FileIndex, ist.Index, ost->FileIndex, ost->Index);
      if (ost->SyncInput != &ist) {
        LogF(1, " [sync #%d.%d]", ost->SyncInput->FileIndex, ost->SyncInput->Index);
      }
    }
  }

  // Steps 12 to 14.
  OpenEncoders();
  OpenDecoders();
  for (auto& ist : t.InputStreams) {
    // Copied packets without a decoding time stamp are timed from here; a
    // stream with reordered frames starts that many frames before zero.
    // Decoded pictures without time stamps start at zero.
    ist->Pts = 0;
    const AVRational rate = ist->Stream->avg_frame_rate;
    if (!ist->DecodingNeeded && ist->Stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
        rate.num > 0 && rate.den > 0) {
      ist->Pts =
          -ff::av_rescale_q(ist->Stream->codecpar->video_delay, av_inv_q(rate), AV_TIME_BASE_Q);
    }
    ist->NextPts = AV_NOPTS_VALUE;
    ist->IsStart = true;
  }

  // Step 15: metadata maps; without any, the source's own tags.
  if (Options.MetaDataMaps.empty()) CarrySourceTags();
  for (const MetaDataMap& map : Options.MetaDataMaps) {
    if (map.OutputFile < 0 || map.OutputFile >= NbOutputFiles()) {
      throw FFMpegException(Format("Invalid output file index %d map_meta_data(%d,%d)",
                                   map.OutputFile, map.OutputFile, map.InputFile));
    }
    if (map.InputFile < 0 || map.InputFile >= NbInputFiles()) {
      throw FFMpegException(Format("Invalid input file index %d map_meta_data(%d,%d)",
                                   map.InputFile, map.OutputFile, map.InputFile));
    }
    CopyMetadataKeys(InputFiles[map.InputFile].Context->metadata,
                     &OutputFiles[map.OutputFile].Context->metadata);
  }

  // Steps 16 and 17: headers, and the session description for RTP.
  bool allRtp = true;
  for (int f = 0; f < NbOutputFiles(); ++f) {
    OutputFile& output = OutputFiles[f];
    AddCoverPicture(output);
    if (output.Part && !output.Part->Created()) OpenPartFile(output);
    if (output.OwnFiles) {
      AVFormatContext* context = output.Context.get();
      const std::string pattern = TOwnFiles::FreePattern(context->url, 1);
      if (pattern != context->url) {
        LogF(0, "%s is taken; the output is %s", context->url, pattern.c_str());
        ff::av_freep(&context->url);
        context->url = ff::av_strdup(pattern.c_str());
      }
      output.OwnFiles->Guard(context);
    }
    if (output.OpenWithHeader && !output.IoOpened) {
      AVFormatContext* context = output.Context.get();
      const int opened = ff::avio_open(&context->pb, context->url, AVIO_FLAG_WRITE);
      if (opened < 0) {
        throw FFMpegException(Format("Could not open '%s'", context->url) + " (" +
                              LibraryErrorText(opened) + ")");
      }
      output.IoOpened = true;
    }
    auto options = output.MuxerOptions;
    // Portable players read ID3 version 2.3; 2.4 leaves many of them blank.
    if (std::strcmp(output.Context->oformat->name, "mp3") == 0) {
      options.emplace_back("id3v2_version", "3");
    }
    options.insert(options.end(), Options.PrivateOptions.begin(), Options.PrivateOptions.end());
    DictionaryPtr muxerOptions = PrivateOptionsFor(&output.Context->oformat->priv_class, options);
    AVDictionary* dictionary = muxerOptions.release();
    const int result = ff::avformat_write_header(output.Context.get(), &dictionary);
    ff::av_dict_free(&dictionary);
    if (result < 0) {
      throw FFMpegException(
          Format("Could not write header for output file #%d (incorrect codec parameters ?)", f));
    }
    output.HeaderWritten = true;
    if (output.Cover) {
      // Before any sound: the MP3 writer holds the sound back until the
      // pictures it was promised have come.
      const int written = ff::av_write_frame(output.Context.get(), output.Cover.get());
      output.Cover.reset();
      if (written < 0) {
        throw FFMpegException(Format("Could not write the cover picture to output file #%d: %s", f,
                                     LibraryErrorText(written).c_str()));
      }
    }
    if (std::strcmp(output.Context->oformat->name, "rtp") != 0) allRtp = false;
  }
  if (allRtp && LogHandler) {
    std::vector<AVFormatContext*> contexts;
    for (OutputFile& output : OutputFiles)
      contexts.push_back(output.Context.get());
    char sdp[2048] = {};
    ff::av_sdp_create(contexts.data(), static_cast<int>(contexts.size()), sdp, sizeof sdp);
    Log(1, "SDP: " + Trim(sdp));
  }

  StartVideoStage();

  // Step 18.
  t.TimerStart = ff::av_gettime_relative();
  t.LastReportTime = t.TimerStart;
}

void TCustomFFmpeg::CarrySourceTags() {
  if (InputFiles.empty()) return;
  const DictionaryPtr tags = SourceTags(InputFiles[0].Context.get(), InputFiles[0].AudioStream);
  for (OutputFile& output : OutputFiles) {
    AVDictionary** metadata = &output.Context->metadata;
    // What the options set stays; "author" is the options' name for the artist.
    const bool author = ff::av_dict_get(*metadata, "author", nullptr, 0) != nullptr;
    const AVDictionaryEntry* tag = nullptr;
    while ((tag = ff::av_dict_get(tags.get(), "", tag, AV_DICT_IGNORE_SUFFIX))) {
      if (author && std::strcmp(tag->key, "artist") == 0) continue;
      ff::av_dict_set(metadata, tag->key, tag->value, AV_DICT_DONT_OVERWRITE);
    }
  }
}

void TCustomFFmpeg::AddCoverPicture(OutputFile& output) {
  AVFormatContext* context = output.Context.get();
  if (!Options.KeepCover || InputFiles.empty() || !MuxerHoldsCover(context->oformat)) return;
  // With a film the cover would stand beside its pictures: sound only.
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    if (context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) return;
  }
  const AVFormatContext* input = InputFiles[0].Context.get();
  const int index = CoverPictureStream(input);
  if (index < 0) return;
  std::string error;
  output.Cover = AddCoverStream(context, input->streams[index], error);
  // The conversion is worth more than its cover: the output goes without.
  if (!output.Cover) LogF(0, "The cover picture is left out: %s", error.c_str());
}

void TCustomFFmpeg::StartVideoStage() {
  TranscodeTables& t = *Tables;
  if (!Options.VideoPipeline || Options.ThreadCount == 1) return;
  // One stage only: the hooks and the engine's counters are not shared
  // between threads, and every output must keep time by its own source.
  TTranscodeInputStream* video = nullptr;
  for (auto& ist : t.InputStreams) {
    if (!ist->DecodingNeeded || ist->Stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    if (video) return;
    video = ist.get();
  }
  if (!video) return;
  int source = -1;
  for (size_t i = 0; i < t.InputStreams.size(); ++i) {
    if (t.InputStreams[i].get() == video) source = static_cast<int>(i);
  }
  for (auto& ost : t.OutputStreams) {
    if (ost->SourceIndex == source && ost->EncodingNeeded && ost->SyncInput != video) return;
  }
  // Two pictures deep: as fast as deeper queues on the measured jobs, and
  // every further 1080p picture held costs 3 MB.
  constexpr size_t kDepth = 2;
  t.Stages.push_back(std::make_unique<VideoStage>(
      [this, source](AVFrame* frame, const TPictureClock& clock) {
        ProcessPicture(source, frame, clock);
      },
      kDepth,
      [this](bool started) {
        if (StageThreadHandler) StageThreadHandler(*this, started);
      }));
  video->Stage = t.Stages.back().get();
}

void TCustomFFmpeg::StopVideoStages() {
  if (!Tables) return;
  for (auto& ist : Tables->InputStreams)
    ist->Stage = nullptr;
  Tables->Stages.clear();
}

void TCustomFFmpeg::PairOutputStreams() {
  TranscodeTables& t = *Tables;
  const auto& maps = Options.StreamMapList;
  int k = 0;
  for (int f = 0; f < NbOutputFiles(); ++f) {
    OutputFile& output = OutputFiles[f];
    for (size_t s = 0; s < output.Streams.size(); ++s, ++k) {
      auto ost = std::make_unique<TTranscodeOutputStream>();
      ost->FileIndex = f;
      ost->Index = static_cast<int>(s);
      ost->Stream = output.Context->streams[s];
      ost->Encoder = output.Streams[s].Encoder.get();
      ost->Codec = output.Streams[s].Codec;
      const AVMediaType type = ost->Encoder->codec_type;

      int source = -1;
      if (!maps.empty()) {
        const StreamMap& map = maps[k];
        source = t.Files[map.File].FirstStream + map.Stream;
        if (t.InputStreams[source]->Stream->codecpar->codec_type != type) {
          ff::av_dump_format(output.Context.get(), f, output.Context->url, 1);
          throw FFMpegException(Format("Codec type mismatch for mapping #%d.%d -> #%d.%d", map.File,
                                       map.Stream, f, static_cast<int>(s)));
        }
      } else {
        // Covers are never a film's pictures; only a map takes one.
        auto ofType = [&](int i) {
          const TTranscodeInputStream& ist = *t.InputStreams[i];
          return ist.Stream->discard != AVDISCARD_ALL && ist.Stream->codecpar->codec_type == type &&
                 !IsCoverPicture(ist.Stream);
        };
        auto usable = [&](int i) { return t.InputStreams[i]->Discard && ofType(i); };
        if (Options.OptProgramid != 0) {
          for (int fi = 0; source < 0 && fi < NbInputFiles(); ++fi) {
            AVFormatContext* context = InputFiles[fi].Context.get();
            for (unsigned p = 0; source < 0 && p < context->nb_programs; ++p) {
              const AVProgram* program = context->programs[p];
              if (program->id != Options.OptProgramid) continue;
              for (unsigned n = 0; n < program->nb_stream_indexes; ++n) {
                const int i = t.Files[fi].FirstStream + static_cast<int>(program->stream_index[n]);
                if (usable(i)) {
                  source = i;
                  break;
                }
              }
            }
          }
        } else {
          // Sound: each input's chosen track first.
          for (int fi = 0; type == AVMEDIA_TYPE_AUDIO && source < 0 && fi < NbInputFiles(); ++fi) {
            const int chosen = InputFiles[fi].AudioStream;
            if (chosen >= 0 && usable(t.Files[fi].FirstStream + chosen)) {
              source = t.Files[fi].FirstStream + chosen;
            }
          }
          for (int i = 0; source < 0 && i < static_cast<int>(t.InputStreams.size()); ++i) {
            if (usable(i)) source = i;
          }
          // Nothing unused left: share the last stream of the type.
          for (int i = static_cast<int>(t.InputStreams.size()) - 1; source < 0 && i >= 0; --i) {
            if (ofType(i)) source = i;
          }
        }
        if (source < 0) {
          ff::av_dump_format(output.Context.get(), f, output.Context->url, 1);
          throw FFMpegException(Format("Could not find input stream matching output stream #%d.%d",
                                       f, static_cast<int>(s)));
        }
      }
      ost->SourceIndex = source;
      t.InputStreams[source]->Discard = false;
      ost->SyncInput = t.InputStreams[source].get();
      if (!maps.empty()) {
        const StreamMap& map = maps[k];
        ost->SyncInput = t.InputStreams[t.Files[map.SyncFile].FirstStream + map.SyncStream].get();
      }
      t.OutputStreams.push_back(std::move(ost));
    }
  }
}

void TCustomFFmpeg::PrepareOutputStream(TTranscodeOutputStream& ost) {
  TranscodeTables& t = *Tables;
  TTranscodeInputStream& ist = *t.InputStreams[ost.SourceIndex];
  AVStream* in = ist.Stream;
  AVStream* out = ost.Stream;
  AVCodecContext* enc = ost.Encoder;
  const AVCodecParameters* icodec = in->codecpar;
  const OutputStreamSetup& setup = OutputFiles[ost.FileIndex].Streams[ost.Index];

  // 8.1: language and disposition.
  if (!ff::av_dict_get(out->metadata, "language", nullptr, 0)) {
    if (const AVDictionaryEntry* language = ff::av_dict_get(in->metadata, "language", nullptr, 0)) {
      ff::av_dict_set(&out->metadata, "language", std::string(language->value).substr(0, 3).c_str(),
                      0);
    }
  }
  out->disposition = in->disposition;

  for (const BitstreamFilterSpec& spec : setup.Filters) {
    AVBSFContext* bsf = nullptr;
    if (ff::av_bsf_list_parse_str(spec.Text.c_str(), &bsf) < 0 || !bsf) {
      throw FFMpegException("Unknown bitstream filter " + spec.Text);
    }
    BsfContextPtr owner(bsf);
    ost.BitstreamFilters.push_back(std::move(owner));
  }

  if (setup.StreamCopy) {
    // 8.2: stream copy.
    const uint32_t tag = out->codecpar->codec_tag ? out->codecpar->codec_tag : enc->codec_tag;
    if (ff::avcodec_parameters_copy(out->codecpar, icodec) < 0)
      throw FFMpegException("av_mallocz fail");
    out->codecpar->codec_tag = tag;
    if (tag == 0) {
      const AVCodecTag* const* tags = OutputFiles[ost.FileIndex].Context->oformat->codec_tag;
      if (!tags || ff::av_codec_get_id(tags, icodec->codec_tag) == icodec->codec_id ||
          ff::av_codec_get_tag(tags, icodec->codec_id) == 0) {
        out->codecpar->codec_tag = icodec->codec_tag;
      } else {
        out->codecpar->codec_tag = 0;
      }
    }
    out->time_base = in->time_base;
    out->avg_frame_rate = in->avg_frame_rate;
    out->r_frame_rate = in->r_frame_rate;
    enc->time_base = in->time_base;
    switch (icodec->codec_type) {
      case AVMEDIA_TYPE_AUDIO:
        if (Options.AudioVolume != 256) {
          throw FFMpegException("-acodec copy and -vol are incompatible (frames are not decoded)");
        }
        if ((out->codecpar->block_align == 1 && icodec->codec_id == AV_CODEC_ID_MP3) ||
            icodec->codec_id == AV_CODEC_ID_AC3) {
          out->codecpar->block_align = 0;
        }
        break;
      case AVMEDIA_TYPE_VIDEO:
        if (CustomHookHandler) {
          throw FFMpegException(
              "-vcodec copy and CustomHook are incompatible (frames are not decoded)");
        }
        if (Options.UsingVhook) {
          throw FFMpegException(
              "-vcodec copy and -vhook are incompatible (frames are not decoded)");
        }
        if (out->sample_aspect_ratio.num == 0) out->sample_aspect_ratio = in->sample_aspect_ratio;
        // The pictures are not touched: how to show them (turned, HDR) goes along.
        CopyStreamSideData(in, out, AV_PKT_DATA_NB);
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        break;
      default:
        throw FFMpegException("invalid codec_type of output stream");
    }
    return;
  }

  // 8.3: re-encoding.
  AVCodecContext* dec = ist.Decoder;
  switch (enc->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
      ost.AudioResampling = enc->sample_rate != dec->sample_rate || Options.AudioSyncMethod > 1;
      break;
    case AVMEDIA_TYPE_VIDEO: {
      const EngineOptions& o = Options;
      if (!ist.Source) PrepareSource(ist, ost);
      // Pictures left as stored keep the matrix that tells a player to turn them.
      if (!InputFiles[ist.FileIndex].AutoRotate) {
        CopyStreamSideData(in, out, AV_PKT_DATA_DISPLAYMATRIX);
      }
      if (ist.Source && ist.Source->Plan().ToneMap) {
        enc->color_primaries = AVCOL_PRI_BT709;
        enc->color_trc = AVCOL_TRC_BT709;
        enc->colorspace = AVCOL_SPC_BT709;
        enc->color_range = AVCOL_RANGE_MPEG;
      }
      ost.VideoCrop = o.CropTop + o.CropBottom + o.CropLeft + o.CropRight != 0;
      ost.VideoPad = o.PadTop + o.PadBottom + o.PadLeft + o.PadRight != 0;
      ost.VideoResample =
          enc->width != ist.ShownWidth - o.CropLeft - o.CropRight + o.PadLeft + o.PadRight ||
          enc->height != ist.ShownHeight - o.CropTop - o.CropBottom + o.PadTop + o.PadBottom ||
          enc->pix_fmt != ist.ShownFormat;
      if (ost.VideoCrop) {
        ost.CropTopRows = o.CropTop;
        ost.CropLeftColumns = o.CropLeft;
        ost.CropBottomRows = o.CropBottom;
        ost.CropRightColumns = o.CropRight;
      }
      if (ost.VideoPad) {
        ost.PadTopRows = o.PadTop;
        ost.PadBottomRows = o.PadBottom;
        ost.PadLeftColumns = o.PadLeft;
        ost.PadRightColumns = o.PadRight;
      }
      if (ost.VideoResample) {
        int64_t flags = 0;
        if (ScalerOpts && ff::av_opt_get_int(ScalerOpts.get(), "sws_flags", 0, &flags) >= 0) {
          Options.SwsFlags = static_cast<unsigned>(flags);
        }
        ost.ScaleSourceHeight =
            o.UsingFilters ? ist.ShownHeight : ist.ShownHeight - o.CropTop - o.CropBottom;
      }
      ErrorText.clear();
      if (o.UsingFilters && ConfigureFilters(*this, ist, ost) != 0) {
        throw FFMpegException(ErrorText.empty() ? "Error opening filters!"
                                                : "Error opening filters: " + ErrorText);
      }
      // The encoder takes whole frames; this only records the largest picture.
      EncodeBufferSize = std::max(EncodeBufferSize, 4 * enc->width * enc->height);
      break;
    }
    case AVMEDIA_TYPE_SUBTITLE:
      break;
    default:
      throw FFMpegException("invalid codec_type of output stream");
  }
  ist.DecodingNeeded = true;
  ost.EncodingNeeded = true;

  // 8.4: two-pass statistics.
  if (enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)) {
    int index = 0;
    for (size_t i = 0; i < t.OutputStreams.size(); ++i) {
      if (t.OutputStreams[i].get() == &ost) index = static_cast<int>(i);
    }
    std::string name =
        (Options.PassLogfilename.empty() ? std::string("ffmpeg2pass") : Options.PassLogfilename) +
        "-" + std::to_string(index) + ".log";
    name = name.substr(0, 1023);
    // Encoders that keep their statistics themselves (x264) are told the
    // file instead; left alone, they would write it in the working folder.
    const AVCodec* codec = ost.Codec ? ost.Codec : ff::avcodec_find_encoder(enc->codec_id);
    if (codec && codec->priv_class &&
        ff::av_opt_find(const_cast<AVClass**>(&codec->priv_class), "stats", nullptr, 0,
                        AV_OPT_SEARCH_FAKE_OBJ)) {
      ost.OwnStatsFile = name;
    } else if (enc->flags & AV_CODEC_FLAG_PASS1) {
      ost.PassLog = std::fopen(name.c_str(), "w");
      if (!ost.PassLog) throw FFMpegException("creat file fail: " + name);
    } else {
      std::FILE* file = std::fopen(name.c_str(), "r");
      if (!file) throw FFMpegException("creat open fail: " + name);
      std::fseek(file, 0, SEEK_END);
      const long size = std::ftell(file);
      std::fseek(file, 0, SEEK_SET);
      char* text = size >= 0 ? static_cast<char*>(ff::av_malloc(size + 1)) : nullptr;
      if (!text) {
        std::fclose(file);
        throw FFMpegException("Could not allocate log buffer");
      }
      const size_t read = std::fread(text, 1, static_cast<size_t>(size), file);
      std::fclose(file);
      text[read] = '\0';
      enc->stats_in = text;
    }
  }
}

void TCustomFFmpeg::PrepareSource(TTranscodeInputStream& ist, const TTranscodeOutputStream& ost) {
  const AVCodecContext* dec = ist.Decoder;
  const EngineOptions& o = Options;
  const int turn = InputFiles[ist.FileIndex].AutoRotate ? DisplayRotation(ist.Stream) : 0;
  // Devices show progressive pictures only; an encoder asked for interlaced
  // coding, the old line filter, or a deinterlacer in the user's chain take
  // the place of ours.
  const bool interlacedOutput =
      (ost.Encoder->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME)) != 0;
  const bool deinterlace = o.AutoDeinterlace && !o.DoDeinterlace && !interlacedOutput &&
                           !FilterListDeinterlaces(o.vfilters);
  const int threads = o.ThreadCount > 0 ? o.ThreadCount : CoreCount();
  const SourcePlan plan = PlanSource(ist.Stream, dec, turn, deinterlace, o.AutoToneMap, threads);
  ist.Source = std::make_unique<SourceChain>(plan);
  const bool quarter = plan.Rotation % 180 != 0;
  ist.ShownWidth = quarter ? dec->height : dec->width;
  ist.ShownHeight = quarter ? dec->width : dec->height;
  ist.ShownFormat = plan.Format != AV_PIX_FMT_NONE ? plan.Format : dec->pix_fmt;
  AVRational aspect = ist.Stream->sample_aspect_ratio.num > 0 ? ist.Stream->sample_aspect_ratio
                                                              : dec->sample_aspect_ratio;
  if (aspect.num <= 0 || aspect.den <= 0) aspect = AVRational{1, 1};
  ist.ShownAspect = quarter ? AVRational{aspect.den, aspect.num} : aspect;
}

void TCustomFFmpeg::OpenEncoders() {
  TranscodeTables& t = *Tables;
  for (auto& ostPtr : t.OutputStreams) {
    TTranscodeOutputStream& ost = *ostPtr;
    AVCodecContext* enc = ost.Encoder;
    if (!ost.EncodingNeeded) {
      ost.Stream->time_base = enc->time_base;
      InitBitstreamFilters(ost);
      continue;
    }
    const AVCodec* codec = ost.Codec ? ost.Codec : ff::avcodec_find_encoder(enc->codec_id);
    if (!codec) {
      throw FFMpegException(
          Format("Unsupported codec for output stream #%d.%d", ost.FileIndex, ost.Index));
    }
    ost.Codec = codec;
    enc->thread_count = Options.ThreadCount;
    enc->opaque = this;
    if (enc->codec_type == AVMEDIA_TYPE_SUBTITLE) {
      // Text subtitle encoders write the style header their source's decoder makes.
      TTranscodeInputStream& ist = *t.InputStreams[ost.SourceIndex];
      OpenDecoder(ist);
      const AVCodecContext* dec = ist.Decoder;
      if (dec->subtitle_header && dec->subtitle_header_size > 0 && !enc->subtitle_header) {
        enc->subtitle_header = static_cast<uint8_t*>(ff::av_mallocz(dec->subtitle_header_size + 1));
        if (!enc->subtitle_header) throw FFMpegException("av_mallocz fail");
        std::memcpy(enc->subtitle_header, dec->subtitle_header, dec->subtitle_header_size);
        enc->subtitle_header_size = dec->subtitle_header_size;
      }
    }
    DictionaryPtr privateOptions = PrivateOptionsFor(&codec->priv_class, Options.PrivateOptions);
    AVDictionary* dictionary = privateOptions.release();
    if (!ost.OwnStatsFile.empty()) {
      ff::av_dict_set(&dictionary, "stats", ost.OwnStatsFile.c_str(), AV_DICT_DONT_OVERWRITE);
    }
    int result;
    {
      std::lock_guard<std::mutex> lock(CodecLock());
      result = ff::avcodec_open2(enc, codec, &dictionary);
    }
    ff::av_dict_free(&dictionary);
    if (result < 0) {
      throw FFMpegException(
          Format("Error while opening codec for output stream #%d.%d - maybe incorrect "
                 "parameters such as bit_rate, rate, width or height",
                 ost.FileIndex, ost.Index));
    }
    ost.EncoderOpen = true;
    ExtraSize += enc->extradata_size;
    if (ff::avcodec_parameters_from_context(ost.Stream->codecpar, enc) < 0) {
      throw FFMpegException("av_mallocz fail");
    }
    ost.Stream->time_base = enc->time_base;
    if (enc->codec_type == AVMEDIA_TYPE_VIDEO) {
      ost.Stream->avg_frame_rate = enc->framerate;
    } else if (enc->codec_type == AVMEDIA_TYPE_AUDIO) {
      ost.Fifo.reset(ff::av_audio_fifo_alloc(enc->sample_fmt, enc->ch_layout.nb_channels, 1024));
      ost.AudioFrame.reset(ff::av_frame_alloc());
      if (!ost.Fifo || !ost.AudioFrame) throw FFMpegException("av_fifo_init fail");
    }
    InitBitstreamFilters(ost);
  }
}

void TCustomFFmpeg::OpenDecoders() {
  for (auto& ist : Tables->InputStreams) {
    if (ist->DecodingNeeded) OpenDecoder(*ist);
  }
}

void TCustomFFmpeg::OpenDecoder(TTranscodeInputStream& ist) {
  if (ist.DecoderOpen) return;
  const AVCodec* codec = ff::avcodec_find_decoder(ist.Stream->codecpar->codec_id);
  if (!codec) {
    throw FFMpegException(Format("Unsupported codec (id=%d) for input stream #%d.%d",
                                 ist.Stream->codecpar->codec_id, ist.FileIndex, ist.Index));
  }
  ist.Decoder->thread_count = Options.ThreadCount;
  ist.Decoder->opaque = this;
  ist.Decoder->max_pixels = kMaxPicturePixels;
  int result;
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    result = ff::avcodec_open2(ist.Decoder, codec, nullptr);
  }
  if (result < 0) {
    throw FFMpegException(
        Format("Error while opening codec for input stream #%d.%d", ist.FileIndex, ist.Index));
  }
  ist.DecoderOpen = true;
}

void TCustomFFmpeg::CloseAllCodecs() {
  if (!Tables) return;
  std::lock_guard<std::mutex> lock(CodecLock());
  for (auto& ost : Tables->OutputStreams) {
    if (!ost->EncoderOpen) continue;
    ff::av_freep(&ost->Encoder->stats_in);
    OutputFiles[ost->FileIndex].Streams[ost->Index].Encoder.reset();
    ost->Encoder = nullptr;
    ost->EncoderOpen = false;
  }
  for (auto& ist : Tables->InputStreams) {
    if (!ist->DecoderOpen) continue;
    InputFiles[ist->FileIndex].Decoders[ist->Index].reset();
    ist->Decoder = nullptr;
    ist->DecoderOpen = false;
  }
}

}  // namespace moskvid
