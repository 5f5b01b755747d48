#include "engine/error_text.h"

#include "binding/entry_points.h"
#include "engine/custom_ffmpeg.h"
#include "engine/option_parsing.h"

namespace moskvid {

std::string ErrorTextForCode(const std::string& fileName, int code, bool formatRecognised) {
  const char* name = fileName.c_str();
  if (code == AVERROR_INVALIDDATA && !formatRecognised) return Format("%s: Unknown format", name);
  if (code == AVERROR(EDOM)) {
    return Format(
        "%s: Incorrect image filename syntax.\r\nUse '%%d' to specify the image number:\r\n"
        "  for img1.jpg, img2.jpg, ..., use 'img%%d.jpg';\r\n"
        "  for img001.jpg, img002.jpg, ..., use 'img%%03d.jpg'.",
        name);
  }
  if ((code == AVERROR_INVALIDDATA || code == AVERROR(EINVAL)) && formatRecognised) {
    return Format("%s: Error while parsing header", name);
  }
  if (code == AVERROR(ENOMEM)) return Format("%s: memory allocation error occurred", name);
  if (code == AVERROR(EIO)) {
    return Format(
        "%s: I/O error occurred\r\nUsually that means that input file is truncated and/or "
        "corrupted.",
        name);
  }
  if (code == AVERROR(ENOENT)) return Format("%s: no such file or directory", name);
  return Format("%s: Error while opening file", name);
}

bool InputFormatRecognised(const std::string& fileName, int code) {
  if (code != AVERROR_INVALIDDATA) return true;
  AVIOContext* io = nullptr;
  if (ff::avio_open(&io, fileName.c_str(), AVIO_FLAG_READ) < 0) return false;
  const AVInputFormat* format = nullptr;
  // A guess from the file name alone, or a weak one, is not a recognised format.
  const int score = ff::av_probe_input_buffer2(io, &format, fileName.c_str(), nullptr, 0, 0);
  const bool recognised = format && score > AVPROBE_SCORE_RETRY;
  ff::avio_closep(&io);
  return recognised;
}

std::string LibraryErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (ff::av_strerror(code, text, sizeof text) < 0) return Format("error %d", code);
  return text;
}

const AVCodec* FindEncoderByName(const std::string& name, TCustomFFmpeg* engine) {
  static const std::pair<const char*, const char*> kRenamed[] = {
      {"libfaac", "aac"}, {"libamr_nb", "libopencore_amrnb"}, {"libamr_wb", "libvo_amrwbenc"}};
  std::string actual = name;
  for (const auto& [old, current] : kRenamed) {
    if (name == old) {
      actual = current;
      if (engine && engine->LogHandler) {
        engine->LogHandler(*engine, 1, Format("Encoder '%s' is called '%s' now", old, current));
      }
      break;
    }
  }
  return ff::avcodec_find_encoder_by_name(actual.c_str());
}

}  // namespace moskvid
