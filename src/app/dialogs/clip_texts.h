// Texts of the clip dialogs, free of window code.
#pragma once

#include <cstdint>
#include <string>

namespace moskvid {

// A source path for a label: as it is when it has fewer than `limit`
// characters, else its first `keep` characters, "..", its extension (with
// the dot) and two blanks.
std::string ShortSourceName(const std::string& path, size_t limit, size_t keep);

// "12.345 Second" for a duration in microseconds.
std::string DurationSecondsText(int64_t microseconds);

// The audio format named in a probe's information text: what lies between
// the first "Audio: " and the comma after it; empty when there is none.
std::string AudioFormatFromInfo(const std::string& info);

// The line of a probe's information text that describes stream `stream`
// ("Stream #1(eng), 1/48000: Audio: aac ..."); empty when there is none.
std::string StreamInfoLine(const std::string& info, int stream);

}  // namespace moskvid
