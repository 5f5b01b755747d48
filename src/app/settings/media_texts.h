// What the windows and the command line say of a file's sound tracks,
// picture shape and tags, free of window code.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "component/av_probe.h"

namespace moskvid {

// "Track 2: eng, ac3, 6 channels (default)"; what the file leaves out (a
// language, a channel count) is left out.
std::string AudioTrackText(const TAVAudioTrack& track);
// The same as a line of a track list, where the track a conversion takes
// is marked.
std::string AudioTrackListText(const TAVAudioTrack& track, bool converted);

// "32:27": a ratio of two positive terms as it is.
std::string RatioText(int num, int den);
// The picture's shape as a player shows it (sample aspect and rotation
// taken into account): the reduced ratio when both of its terms are at most
// 16 ("16:9", "4:3", "9:16"), else the width to a height of 1 ("2.35:1").
// Empty when the size is unknown.
std::string DisplayAspectText(const TAVVideoStreamInfo& video);

// The tags of a file that carry something, as label and value, in the
// order players show them: title, artist, album artist, album, track
// ("3" or "3/12"), disc, year, genre, composer, comment. Each value on one
// line.
std::vector<std::pair<std::string, std::string>> TagTexts(const TAVFormatInfo& info);

}  // namespace moskvid
