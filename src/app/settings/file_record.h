// TlvFilesRecord: what the file list keeps for each file, edited by the trim
// and crop dialogs and read when the conversion job is built.
#pragma once

#include <cstdint>
#include <string>

namespace moskvid {

struct TlvFilesRecord {
  int32_t BatchIndex = 0;
  std::string SourceFile;
  std::string OutputFile;
  int32_t Duration = 0;    // whole seconds
  int32_t TrimStart = 0;   // milliseconds
  int32_t TrimLength = 0;  // milliseconds; 0 means to the end
  // "lbox" (letter box), "cent" (fill and cut), "full" (stretch), "orig"
  // (keep the cropped size); "ylbox" is understood too.
  std::string ZoomMode = "lbox";
  int32_t CropTop = 0;
  int32_t CropLeft = 0;
  int32_t CropBottom = 0;
  int32_t CropRight = 0;
  // The sound track to convert, counting the file's audio streams from 1;
  // 0 lets the conversion choose (the default track, else the widest).
  int32_t AudioTrack = 0;
};

}  // namespace moskvid
