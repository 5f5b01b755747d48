#include "app/settings/mount_table.h"

#include <fstream>
#include <sstream>
#include <vector>

namespace moskvid {

namespace {

// Mount points write blanks, tabs, new lines and backslashes as octal escapes.
std::string Unescape(const std::string& text) {
  const auto octal = [](char c) { return c >= '0' && c <= '7'; };
  std::string plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && octal(text[i + 1]) && octal(text[i + 2]) &&
        octal(text[i + 3])) {
      plain += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                                 (text[i + 3] - '0'));
      i += 3;
    } else {
      plain += text[i];
    }
  }
  return plain;
}

bool Contains(const std::string& mountPoint, const std::string& path) {
  if (mountPoint == "/") return !path.empty() && path[0] == '/';
  return path.compare(0, mountPoint.size(), mountPoint) == 0 &&
         (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

}  // namespace

TMountTableReader SystemMountTable() {
  return [] {
    std::ifstream file("/proc/self/mountinfo");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  };
}

std::string FileSystemTypeOf(const std::string& path, const std::string& mountTable) {
  std::istringstream lines(mountTable);
  std::string best;
  std::string type;
  for (std::string line; std::getline(lines, line);) {
    // id parent major:minor root mount-point options [optional...] - type source ...
    std::istringstream fields(line);
    std::vector<std::string> words;
    for (std::string word; fields >> word;)
      words.push_back(word);
    size_t dash = 0;
    while (dash < words.size() && words[dash] != "-")
      ++dash;
    if (words.size() < 5 || dash + 1 >= words.size()) continue;
    const std::string mountPoint = Unescape(words[4]);
    if (Contains(mountPoint, path) && mountPoint.size() >= best.size()) {
      best = mountPoint;
      type = words[dash + 1];
    }
  }
  return type;
}

bool OnOpticalDisc(const std::string& path, const std::string& mountTable) {
  const std::string type = FileSystemTypeOf(path, mountTable);
  return type == "iso9660" || type == "udf";
}

}  // namespace moskvid
