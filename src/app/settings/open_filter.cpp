#include "app/settings/open_filter.h"

#include <fnmatch.h>

#include <cctype>

namespace moskvid {

const std::string& AddDialogFilter() {
  static const std::string kFilter =
      "Video/Audio/Picture "
      "Files|*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;*.MPEG;*.DAT;*.OGM;"
      "*.VOB;*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.SWF;*.MP3;*.AAC;*.WAV;*.WMA;*.CDA;*.FLAC;*.M4A;*."
      "MID;*.MKA;*.MP2;*.MPA;*.MPC;*.APE;*.OFR;*.OGG;*.RA;*.WV;*.TTA;*.AC3;*.DTS;*.BMP;*.GIF;*."
      "JPEG;*.JPG;*.PNG;|Video "
      "Files|*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;*.MPEG;*.DAT;*.OGM;"
      "*.VOB;*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.SWF;|Audio "
      "Files|*.MP3;*.AAC;*.WAV;*.WMA;*.CDA;*.FLAC;*.M4A;*.MID;*.MKA;*.MP2;*.MPA;*.MPC;*.APE;*.OFR;*"
      ".OGG;*.RA;*.WV;*.TTA;*.AC3;*.DTS;|Picture Files|*.BMP;*.GIF;*.JPEG;*.JPG;*.PNG;|All "
      "Files|*.*";
  return kFilter;
}

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(separator, start);
    pieces.push_back(text.substr(start, at == std::string::npos ? at : at - start));
    if (at == std::string::npos) return pieces;
    start = at + 1;
  }
}

}  // namespace

std::vector<TFileFilter> ParseFileFilter(const std::string& filter) {
  const std::vector<std::string> parts = Split(filter, '|');
  std::vector<TFileFilter> filters;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    TFileFilter entry;
    entry.Description = parts[i];
    for (const std::string& pattern : Split(parts[i + 1], ';')) {
      if (!pattern.empty()) entry.Patterns.push_back(pattern);
    }
    filters.push_back(entry);
  }
  return filters;
}

std::string CaseFreeGlob(const std::string& pattern) {
  if (pattern == "*.*") return "*";
  std::string glob;
  for (char c : pattern) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (std::isalpha(u)) {
      glob += '[';
      glob += static_cast<char>(std::tolower(u));
      glob += static_cast<char>(std::toupper(u));
      glob += ']';
    } else {
      glob += c;
    }
  }
  return glob;
}

bool MatchesFilter(const TFileFilter& filter, const std::string& fileName) {
  for (const std::string& pattern : filter.Patterns) {
    if (::fnmatch(CaseFreeGlob(pattern).c_str(), fileName.c_str(), 0) == 0) return true;
  }
  return false;
}

}  // namespace moskvid
