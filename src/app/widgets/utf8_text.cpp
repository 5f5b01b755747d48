#include "app/widgets/utf8_text.h"

namespace moskvid {

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

std::string ExtensionOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash) ? path.substr(dot)
                                                                                 : "";
}

}  // namespace moskvid
