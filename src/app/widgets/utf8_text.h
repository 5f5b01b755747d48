// Cutting texts for labels by characters, not bytes, and the extension of a
// path, for the names the windows shorten.
#pragma once

#include <string>

namespace moskvid {

size_t CharacterCount(const std::string& text);
// The first `count` characters (all of the text when it is shorter).
std::string FirstCharacters(const std::string& text, size_t count);
// ".mp4" of "/a/b.mp4"; empty when the file name has no dot.
std::string ExtensionOf(const std::string& path);

}  // namespace moskvid
