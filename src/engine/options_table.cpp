// The named-option vocabulary and its dispatcher.
#include <functional>
#include <unordered_map>

#include "binding/media_loader.h"
#include "engine/custom_ffmpeg.h"
#include "engine/option_parsing.h"

namespace moskvid {

namespace {

using Setter = std::function<void(TCustomFFmpeg&, const std::string&, const std::string&)>;
using OptionTable = std::unordered_map<std::string, Setter>;

// A switch is set by any value but "0" or "false"; a line that names the
// switch without a value (no "=") leaves it as it is.
template <typename Field>
Setter Flag(Field field) {
  return [field](TCustomFFmpeg& e, const std::string&, const std::string& value) {
    if (value.empty()) return;
    e.Options.*field = value != "0" && value != "false";
  };
}

template <typename Field>
Setter Integer(Field field) {
  return [field](TCustomFFmpeg& e, const std::string& name, const std::string& value) {
    e.Options.*field = ParseIntOption(name, value);
  };
}

template <typename Field>
Setter Decimal(Field field) {
  return [field](TCustomFFmpeg& e, const std::string& name, const std::string& value) {
    e.Options.*field = static_cast<float>(ParseDoubleOption(name, value));
  };
}

template <typename Field>
Setter Text(Field field) {
  return [field](TCustomFFmpeg& e, const std::string&, const std::string& value) {
    e.Options.*field = value;
  };
}

}  // namespace

void TCustomFFmpeg::SetOption(const std::string& name, const std::string& value) {
  static const OptionTable table = [] {
    using E = EngineOptions;
    using T = TCustomFFmpeg;
    OptionTable t;
    for (const char* n :
         {"L", "h", "version", "formats", "i", "y", "benchmark", "apre", "vpre", "spre"}) {
      t[n] = [](T& e, const std::string& name, const std::string&) { e.DoNothing(name); };
    }
    t["f"] = [](T& e, const std::string&, const std::string& v) { e.SetFormatOption(v); };
    t["map"] = [](T& e, const std::string&, const std::string& v) { e.SetStreamMap(v); };
    t["map_meta_data"] = [](T& e, const std::string&, const std::string& v) {
      e.SetMetaDataMap(v);
    };
    t["t"] = [](T& e, const std::string&, const std::string& v) { e.SetDuration(v); };
    t["fs"] = [](T& e, const std::string& n, const std::string& v) {
      e.Options.LimitFilesize = ParseInt64Option(n, v);
    };
    t["ss"] = [](T& e, const std::string& n, const std::string& v) {
      e.Options.InputStartTime = ParseTimeOption(n, v, true);
    };
    t["itsoffset"] = [](T& e, const std::string& n, const std::string& v) {
      e.Options.InputTsOffset = ParseTimeOption(n, v, true);
    };
    t["itsscale"] = [](T& e, const std::string&, const std::string& v) { e.SetTsScale(v); };
    t["title"] = Text(&E::title);
    t["author"] = Text(&E::author);
    t["copyright"] = Text(&E::copyright);
    t["comment"] = Text(&E::comment);
    t["genre"] = Text(&E::genre);
    t["album"] = Text(&E::album);
    t["timestamp"] = [](T& e, const std::string& n, const std::string& v) {
      e.Options.RecTimestamp = std::llround(ParseTimeOption(n, v, false) / 1000000.0);
    };
    t["vframes"] = [](T& e, const std::string& n, const std::string& v) {
      e.Options.MaxFrames[kVideoKind] = ParseIntOption(n, v);
    };
    t["aframes"] = [](T& e, const std::string& n, const std::string& v) {
      e.Options.MaxFrames[kAudioKind] = ParseIntOption(n, v);
    };
    t["dframes"] = [](T& e, const std::string& n, const std::string& v) {
      e.Options.MaxFrames[kDataKind] = ParseIntOption(n, v);
    };
    t["dump"] = Flag(&E::DoPktDump);
    t["hex"] = Flag(&E::DoHexDump);
    t["re"] = Flag(&E::RateEmu);
    t["loop_input"] = Flag(&E::LoopInput);
    t["copyts"] = Flag(&E::CopyTs);
    t["shortest"] = Flag(&E::OptShortest);
    t["xerror"] = Flag(&E::ExitOnError);
    t["intra"] = Flag(&E::IntraOnly);
    t["vn"] = Flag(&E::VideoDisable);
    t["sameq"] = Flag(&E::SameQuality);
    t["deinterlace"] = Flag(&E::DoDeinterlace);
    t["autorotate"] = Flag(&E::AutoRotate);
    t["autodeinterlace"] = Flag(&E::AutoDeinterlace);
    t["autotonemap"] = Flag(&E::AutoToneMap);
    t["cover"] = Flag(&E::KeepCover);
    t["atrack"] = [](T& e, const std::string& n, const std::string& v) {
      const int track = ParseIntOption(n, v);
      if (track < 0) throw FFMpegException("atrack counts sound tracks from 1 (0: automatic)");
      e.Options.AudioTrack = track;
    };
    t["psnr"] = Flag(&E::DoPsnr);
    t["qphist"] = Flag(&E::QpHist);
    t["an"] = Flag(&E::AudioDisable);
    t["sn"] = Flag(&E::SubtitleDisable);
    t["isync"] = Flag(&E::InputSync);
    t["loop_output"] = Integer(&E::LoopOutput);
    t["vsync"] = Integer(&E::VideoSyncMethod);
    t["async"] = Integer(&E::AudioSyncMethod);
    t["vglobal"] = Integer(&E::VideoGlobalHeader);
    t["programid"] = Integer(&E::OptProgramid);
    t["vdt"] = Integer(&E::VideoDiscard);
    t["me_threshold"] = Integer(&E::MeThreshold);
    t["top"] = Integer(&E::TopFieldFirst);
    t["dc"] = Integer(&E::IntraDcPrecision);
    t["vol"] = Integer(&E::AudioVolume);
    t["vc"] = Integer(&E::VideoChannel);
    t["pipeline"] = Integer(&E::VideoPipeline);
    t["v"] = [](T& e, const std::string&, const std::string& v) { e.SetVerbose(v); };
    t["target"] = [](T& e, const std::string&, const std::string& v) { e.SetTargetOption(v); };
    t["threads"] = [](T&, const std::string& n, const std::string&) {
      throw FFMpegException("TODO: option - " + n);
    };
    t["adrift_threshold"] = Decimal(&E::AudioDriftThreshold);
    t["dts_delta_threshold"] = Decimal(&E::DtsDeltaThreshold);
    t["aq"] = Decimal(&E::AudioQscale);
    t["muxdelay"] = Decimal(&E::MuxMaxDelay);
    t["muxpreload"] = Decimal(&E::MuxPreload);
    for (const char* n : {"b", "vb", "ab"}) {
      t[n] = [](T& e, const std::string& name, const std::string& v) { e.SetBitRate(name, v); };
    }
    t["r"] = [](T& e, const std::string&, const std::string& v) { e.SetFrameRate(v); };
    t["s"] = [](T& e, const std::string&, const std::string& v) { e.SetFrameSize(v); };
    t["aspect"] = [](T& e, const std::string&, const std::string& v) { e.SetAspect(v); };
    t["pix_fmt"] = [](T& e, const std::string&, const std::string& v) { e.SetPixelFormat(v); };
    const char* cropNames[] = {"croptop", "cropbottom", "cropleft", "cropright"};
    const char* padNames[] = {"padtop", "padbottom", "padleft", "padright"};
    for (int side = 0; side < 4; ++side) {
      t[cropNames[side]] = [side](T& e, const std::string&, const std::string& v) {
        e.SetCrop(side, v);
      };
      t[padNames[side]] = [side](T& e, const std::string&, const std::string& v) {
        e.SetPad(side, v);
      };
    }
    t["padcolor"] = [](T& e, const std::string& n, const std::string& v) {
      e.SetPadColor(static_cast<uint32_t>(ParseInt64Option(n, v)));
    };
    t["qscale"] = [](T& e, const std::string&, const std::string& v) { e.SetQscale(v); };
    t["rc_override"] = Text(&E::VideoRcOverride);
    t["vcodec"] = [](T& e, const std::string&, const std::string& v) {
      e.SetCodecName(kVideoKind, v);
    };
    t["acodec"] = [](T& e, const std::string&, const std::string& v) {
      e.SetCodecName(kAudioKind, v);
    };
    t["scodec"] = [](T& e, const std::string&, const std::string& v) {
      e.SetCodecName(kSubtitleKind, v);
    };
    t["pass"] = [](T& e, const std::string&, const std::string& v) { e.SetPass(v); };
    t["passlogfile"] = Text(&E::PassLogfilename);
    t["vstats"] = [](T& e, const std::string&, const std::string&) { e.SetVstats(); };
    t["vstats_file"] = Text(&E::VstatsFilename);
    t["vhook"] = [](T& e, const std::string&, const std::string& v) { e.SetVhook(v); };
    t["vfilters"] = [](T& e, const std::string&, const std::string& v) {
      if (!v.empty()) e.Options.vfilters = v;
    };
    t["intra_matrix"] = [](T& e, const std::string&, const std::string& v) {
      e.SetMatrix(true, v);
    };
    t["inter_matrix"] = [](T& e, const std::string&, const std::string& v) {
      e.SetMatrix(false, v);
    };
    t["vtag"] = [](T& e, const std::string&, const std::string& v) { e.SetCodecTag(true, v); };
    t["atag"] = [](T& e, const std::string&, const std::string& v) { e.SetCodecTag(false, v); };
    t["newvideo"] = [](T& e, const std::string&, const std::string&) {
      e.NewStreamOption(kVideoKind);
    };
    t["newaudio"] = [](T& e, const std::string&, const std::string&) {
      e.NewStreamOption(kAudioKind);
    };
    t["newsubtitle"] = [](T& e, const std::string&, const std::string&) {
      e.NewStreamOption(kSubtitleKind);
    };
    t["ar"] = [](T& e, const std::string& n, const std::string& v) {
      int rate = ParseIntOption(n, v);
      if (rate > 0) e.Options.AudioSampleRate = rate;
    };
    t["ac"] = [](T& e, const std::string& n, const std::string& v) {
      int channels = ParseIntOption(n, v);
      if (channels > 0) e.Options.AudioChannels = channels;
    };
    t["alang"] = Text(&E::AudioLanguage);
    t["slang"] = Text(&E::SubtitleLanguage);
    t["sample_fmt"] = [](T& e, const std::string&, const std::string& v) { e.SetSampleFormat(v); };
    t["tvstd"] = Text(&E::VideoStandard);
    for (const char* n : {"absf", "vbsf", "sbsf"}) {
      t[n] = [](T& e, const std::string& name, const std::string& v) {
        e.SetBitstreamFilter(name[0], v);
      };
    }
    return t;
  }();

  if (auto found = table.find(name); found != table.end()) {
    found->second(*this, name, value);
  } else {
    SetGenericOption(name, value);
  }
}

void TCustomFFmpeg::ApplyOptionText(const std::string& text) {
  std::string normalised;
  normalised.reserve(text.size());
  const std::string trimmed = Trim(text);
  for (size_t i = 0; i < trimmed.size(); ++i) {
    if (trimmed[i] == '\r') {
      normalised += '\n';
      if (i + 1 < trimmed.size() && trimmed[i + 1] == '\n') ++i;
    } else {
      normalised += trimmed[i];
    }
  }
  size_t start = 0;
  while (start <= normalised.size() && !normalised.empty()) {
    size_t end = normalised.find('\n', start);
    std::string line = normalised.substr(start, end == std::string::npos ? end : end - start);
    size_t equals = line.find('=');
    if (equals == std::string::npos) {
      SetOption(line, "");
    } else {
      SetOption(line.substr(0, equals), line.substr(equals + 1));
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

void TCustomFFmpeg::DoNothing(const std::string& name) {
  Log(1, "Do nothing: option - " + name);
}

void TCustomFFmpeg::SetVerbose(const std::string& value) {
  Options.Verbose = ParseIntOption("v", value);
  if (binding::MediaLibrariesLoaded()) {
    ff::av_log_set_level(LibraryLogLevelFor(Options.Verbose));
    binding::SetSavedLogLevel(ff::av_log_get_level());
  }
}

}  // namespace moskvid
