// The cover picture a music file keeps, carried into an output that can
// hold one: MP3 (as an ID3 picture) and the MP4 family (M4A) without a film.
#pragma once

#include <string>

#include "binding/ffptr.h"

namespace moskvid {

// Whether an output of this muxer takes a cover picture at all.
bool MuxerHoldsCover(const AVOutputFormat* format);

// Adds the cover `source` to `output` as a picture stream of its own and
// gives the packet to write right after the header: the stored picture when
// it is JPEG or PNG, which every player shows, else the picture made into
// PNG. Null with `error` set, and nothing added, when it cannot be read.
PacketPtr AddCoverStream(AVFormatContext* output, const AVStream* source, std::string& error);

}  // namespace moskvid
