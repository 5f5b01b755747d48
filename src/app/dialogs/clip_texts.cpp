#include "app/dialogs/clip_texts.h"

#include <cctype>

#include "app/widgets/utf8_text.h"
#include "engine/option_parsing.h"

namespace moskvid {

std::string ShortSourceName(const std::string& path, size_t limit, size_t keep) {
  if (CharacterCount(path) < limit) return path;
  return FirstCharacters(path, keep) + ".." + ExtensionOf(path) + "  ";
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

std::string StreamInfoLine(const std::string& info, int stream) {
  const std::string head = "Stream #" + std::to_string(stream);
  size_t start = 0;
  while (start < info.size()) {
    size_t end = info.find('\n', start);
    if (end == std::string::npos) end = info.size();
    std::string line = info.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // "#1" must not take the line of "#12".
    if (line.rfind(head, 0) == 0 && (line.size() == head.size() ||
                                     !std::isdigit(static_cast<unsigned char>(line[head.size()]))))
      return line;
    start = end + 1;
  }
  return "";
}

}  // namespace moskvid
