#include "app/dialogs/clip_texts.h"

#include "engine/option_parsing.h"

namespace moskvid {

namespace {

size_t CharacterCount(const std::string& text) {
  size_t count = 0;
  for (unsigned char c : text)
    count += (c & 0xC0) != 0x80;
  return count;
}

std::string FirstCharacters(const std::string& text, size_t count) {
  size_t seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (seen == count) return text.substr(0, i);
      ++seen;
    }
  }
  return text;
}

}  // namespace

std::string ShortSourceName(const std::string& path, size_t limit, size_t keep) {
  if (CharacterCount(path) < limit) return path;
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  const std::string extension =
      dot != std::string::npos && (slash == std::string::npos || dot > slash) ? path.substr(dot)
                                                                              : "";
  return FirstCharacters(path, keep) + ".." + extension + "  ";
}

std::string DurationSecondsText(int64_t microseconds) {
  if (microseconds < 0) microseconds = 0;
  const int64_t milliseconds = microseconds / 1000;
  return Format("%d.%.3d", static_cast<int>(milliseconds / 1000),
                static_cast<int>(milliseconds % 1000)) +
         " Second";
}

std::string AudioFormatFromInfo(const std::string& info) {
  const size_t audio = info.find("Audio:");
  if (audio == std::string::npos) return "";
  const size_t comma = info.find(',', audio);
  const std::string field = info.substr(audio, comma == std::string::npos ? comma : comma - audio);
  const std::string prefix = "Audio: ";
  return field.rfind(prefix, 0) == 0 ? field.substr(prefix.size()) : Trim(field.substr(6));
}

}  // namespace moskvid
