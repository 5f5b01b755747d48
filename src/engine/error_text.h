// Messages for failed library calls.
#pragma once

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace moskvid {

class TCustomFFmpeg;

// The message for a failed open of `fileName` with the library result `code`.
// `formatRecognised` tells an unknown format from a broken header.
std::string ErrorTextForCode(const std::string& fileName, int code, bool formatRecognised);

// After an open failed with `code`: whether some input format claims the file.
bool InputFormatRecognised(const std::string& fileName, int code);

// The library's own text for a result code.
std::string LibraryErrorText(int code);

// Looks an encoder up by name; names of the older library generation are
// mapped to their successors ("libfaac" -> "aac"), logged once per engine.
const AVCodec* FindEncoderByName(const std::string& name, TCustomFFmpeg* engine);

}  // namespace moskvid
