// Which streams of a file a conversion takes, and how a player shows its
// pictures: the rules the engine, the probe and the windows share.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

namespace moskvid {

// A picture stored with music (an album cover), not a film's video.
bool IsCoverPicture(const AVStream* stream);

// The first video stream that is not a cover; -1 when there is none.
int FilmVideoStream(const AVFormatContext* context);
// The first cover picture; -1 when there is none.
int CoverPictureStream(const AVFormatContext* context);

// The stream index of audio track `track` (counting the audio streams from
// 1); with 0, the track a player would choose: the one marked default, else
// the one with the most channels, else the first. -1 when there is none.
int ChooseAudioStream(const AVFormatContext* context, int track);
// How many audio streams the file has.
int AudioTrackCount(const AVFormatContext* context);

// Clockwise quarter turns, in degrees (0, 90, 180 or 270), by which a player
// turns the stream's pictures: from its display matrix, else from the older
// "rotate" tag. Angles between quarter turns count as none.
int DisplayRotation(const AVStream* stream);

}  // namespace moskvid
