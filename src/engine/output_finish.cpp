// Outputs written as parts: the part made right before the header, and at
// the end of the run its name: the final one for a whole or stopped run, the
// failed one for a run that failed, none when nothing was written.
#include "engine/custom_ffmpeg.h"
#include "engine/option_parsing.h"
#include "engine/output_names.h"

namespace moskvid {

void TCustomFFmpeg::OpenPartFile(OutputFile& output) {
  std::vector<std::string> inTheWay;
  std::string reason;
  const bool created = output.Part->Create(inTheWay, reason);
  // Never deleted here: what a killed run left may be all someone has.
  for (const std::string& part : inTheWay)
    Log(0, LeftoverPartText(part));
  if (!created) {
    throw FFMpegException(Format("Could not open '%s'", output.Part->Wanted().c_str()) + " (" +
                          reason + ")");
  }
  AVFormatContext* context = output.Context.get();
  context->pb = output.Part->Io();
  context->flags |= AVFMT_FLAG_CUSTOM_IO;
  // Muxers that read back what they wrote (to move an index to the front)
  // open the file by the context's name.
  ff::av_freep(&context->url);
  context->url = ff::av_strdup(output.Part->Part().c_str());
}

void TCustomFFmpeg::FinishPartFile(OutputFile& output) {
  TPartFile& part = *output.Part;
  if (output.Context) output.Context->pb = nullptr;
  TOutputResult result;
  result.Wanted = part.Wanted();
  if (part.Created()) {
    const std::string closeError = part.Close();
    if (output.Discard || output.PacketsWritten == 0) {
      part.Remove();
    } else {
      // What the disk did not take makes the file no whole one: the run
      // failed, though every write before seemed to succeed.
      if (!closeError.empty()) {
        const std::string message =
            Format("Could not finish writing '%s' (%s)", part.Output().c_str(), closeError.c_str());
        Log(0, message);
        if (!HasException) ExceptionMessage = message;
        HasException = true;
        Finished = false;
      }
      std::string reason;
      result.Written = part.Publish(HasException, reason);
      if (result.Written.empty()) {
        LogF(0, "%s keeps its name: %s", part.Part().c_str(), reason.c_str());
        result.Written = part.Part();
      }
      result.End = HasException ? oeFailed : StopRequested ? oeStopped : oeWhole;
      if (HasException) {
        LogF(0, "What was converted is kept as %s", result.Written.c_str());
      } else if (result.Written != part.Output()) {
        LogF(0, "%s appeared while converting; the output is %s", part.Output().c_str(),
             result.Written.c_str());
      }
    }
  }
  OutputResults.push_back(result);
  output.Part.reset();
}

}  // namespace moskvid
