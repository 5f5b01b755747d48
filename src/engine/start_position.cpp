// Where a conversion starts in its inputs: the seek made when an input is
// opened, and the refusal of a start that an input never reaches.
#include <algorithm>
#include <cinttypes>

#include "engine/custom_ffmpeg.h"
#include "engine/error_text.h"
#include "engine/option_parsing.h"
#include "engine/transcode_tables.h"

namespace moskvid {

std::string MicrosecondsText(int64_t microseconds) {
  const char* sign = microseconds < 0 ? "-" : "";
  const int64_t ms = (microseconds < 0 ? -microseconds : microseconds) / 1000;
  return Format("%s%02" PRId64 ":%02" PRId64 ":%02" PRId64 ".%03" PRId64, sign, ms / 3600000,
                ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
}

bool TCustomFFmpeg::SeekToStart(InputFile& input, const std::string& fileName, int64_t position) {
  input.StartTime = Options.InputStartTime;
  const int result = ff::av_seek_frame(input.Context.get(), -1, position, AVSEEK_FLAG_BACKWARD);
  if (result >= 0) return true;
  // The time stamps are shifted by the start all the same, and what comes
  // before it is decoded and left out (copied video from the key frame at
  // the start): slower, but the same output.
  LogF(0, "Could not seek to %s in %s (%s); reading from its beginning",
       MicrosecondsText(Options.InputStartTime).c_str(), fileName.c_str(),
       LibraryErrorText(result).c_str());
  return false;
}

int64_t TCustomFFmpeg::OutputStartOf(const TTranscodeInputStream& ist) const {
  const int64_t output = Options.InputStartTime != 0 ? Options.InputStartTime : INT64_MIN;
  return std::max(output, InputFiles[ist.FileIndex].DropBefore);
}

void TCustomFFmpeg::CheckStartPositions() const {
  // A looping input has no end to start after.
  if (Options.LoopInput) return;
  for (const InputFile& input : InputFiles) {
    const AVFormatContext* context = input.Context.get();
    if (context->duration == AV_NOPTS_VALUE || context->duration <= 0) continue;
    // A start given after opening is counted from where the input was sought to.
    const int64_t start = input.StartTime + Options.InputStartTime;
    if (start >= context->duration) {
      throw FFMpegException(Format("Start time %s is at or beyond the end of %s (duration %s)",
                                   MicrosecondsText(start).c_str(), context->url,
                                   MicrosecondsText(context->duration).c_str()));
    }
  }
}

}  // namespace moskvid
