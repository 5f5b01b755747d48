// The tags a music player shows, gathered from a source file the way
// containers keep them, under the library's common names.
#pragma once

#include "binding/ffptr.h"

namespace moskvid {

// The source's tags: the container's, completed by the stream-level tags of
// `audioStream` (Ogg, Opus and FLAC in Ogg keep their comments there; -1 for
// none). A year stands for a missing date, and a track or disc total joins
// its number as "3/12". Only title, artist, album_artist, album, track,
// disc, date, genre, composer and comment are taken.
DictionaryPtr SourceTags(const AVFormatContext* context, int audioStream);

}  // namespace moskvid
