#include "app/settings/ini_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/option_parsing.h"

namespace moskvid {

namespace {

bool SameName(const std::string& a, const std::string& b) {
  return LowerCase(a) == LowerCase(b);
}

// The section name of a "[name]" line, or false.
bool SectionOf(const std::string& line, std::string& name) {
  const std::string trimmed = Trim(line);
  if (trimmed.size() < 2 || trimmed.front() != '[' || trimmed.back() != ']') return false;
  name = Trim(trimmed.substr(1, trimmed.size() - 2));
  return true;
}

}  // namespace

bool ParseInteger(const std::string& text, int& value) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long parsed = std::strtol(trimmed.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX) return false;
  value = static_cast<int>(parsed);
  return true;
}

std::vector<std::string> TIniFile::ReadLines() const {
  std::vector<std::string> lines;
  std::ifstream file(fileName_);
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

int TIniFile::FindKey(const std::vector<std::string>& lines, const std::string& section,
                      const std::string& key, int& sectionEnd) {
  sectionEnd = -1;
  bool inside = false;
  int found = -1;
  for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
    std::string name;
    if (SectionOf(lines[i], name)) {
      if (inside) {
        sectionEnd = i;
        return found;
      }
      inside = SameName(name, section);
      continue;
    }
    if (!inside || found >= 0) continue;
    const size_t equals = lines[i].find('=');
    if (equals != std::string::npos && SameName(Trim(lines[i].substr(0, equals)), key)) found = i;
  }
  if (inside) sectionEnd = static_cast<int>(lines.size());
  return found;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
  int end = 0;
  return FindKey(ReadLines(), section, key, end) >= 0;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
  const std::vector<std::string> lines = ReadLines();
  int end = 0;
  const int at = FindKey(lines, section, key, end);
  if (at < 0) return defaultValue;
  return lines[at].substr(lines[at].find('=') + 1);
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key,
                          int defaultValue) const {
  int value = 0;
  return ParseInteger(ReadString(section, key, ""), value) ? value : defaultValue;
}

bool TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  std::vector<std::string> lines = ReadLines();
  int end = 0;
  const int at = FindKey(lines, section, key, end);
  if (at >= 0) {
    // The key keeps the spelling it already has in the file.
    lines[at] = lines[at].substr(0, lines[at].find('=') + 1) + value;
  } else if (end >= 0) {
    int insert = end;
    while (insert > 0 && Trim(lines[insert - 1]).empty())
      --insert;  // before blank lines
    lines.insert(lines.begin() + insert, key + "=" + value);
  } else {
    if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
    lines.push_back("[" + section + "]");
    lines.push_back(key + "=" + value);
  }
  std::error_code error;
  const auto folder = std::filesystem::path(fileName_).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, error);
  std::ofstream file(fileName_, std::ios::trunc);
  // Reading drops one carriage return from each line: a line that still ends
  // in one had two, and gets them back, so that its value stays as it was.
  for (const std::string& line : lines)
    file << line << (!line.empty() && line.back() == '\r' ? "\r\n" : "\n");
  return static_cast<bool>(file);
}

bool TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  return WriteString(section, key, std::to_string(value));
}

}  // namespace moskvid
