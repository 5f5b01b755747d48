#include "app/settings/ini_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>

#include "app/settings/whole_file.h"
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

// The file's lines, one carriage return dropped from each; a missing file
// has none. False with the reason when it exists but cannot be read: a
// write then would replace what it holds.
bool LoadLines(const std::string& fileName, std::vector<std::string>& lines, std::string& reason) {
  lines.clear();
  const int descriptor = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    if (errno == ENOENT) return true;
    reason = std::generic_category().message(errno);
    return false;
  }
  std::string text;
  char buffer[8192];
  ssize_t got = 0;
  while ((got = ::read(descriptor, buffer, sizeof buffer)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      reason = std::generic_category().message(errno);
      ::close(descriptor);
      return false;
    }
    text.append(buffer, static_cast<size_t>(got));
  }
  ::close(descriptor);
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return true;
}

std::string TextOf(const std::vector<std::string>& lines) {
  std::string text;
  // Reading drops one carriage return from each line: a line that still ends
  // in one had two, and gets them back, so that its value stays as it was.
  for (const std::string& line : lines)
    text += line + (!line.empty() && line.back() == '\r' ? "\r\n" : "\n");
  return text;
}

// The failure seam: each file's last reported reason.
// --- Protected by failureLock.
std::mutex failureLock;
TIniWriteFailureHandler failureHandler;
std::map<std::string, std::string> reportedReasons;

void WriteFailed(const std::string& file, const std::string& reason) {
  std::lock_guard<std::mutex> guard(failureLock);
  if (!failureHandler) return;
  auto [at, added] = reportedReasons.try_emplace(file, reason);
  if (!added && at->second == reason) return;
  at->second = reason;
  failureHandler(file, reason);
}

void WriteSucceeded(const std::string& file) {
  std::lock_guard<std::mutex> guard(failureLock);
  reportedReasons.erase(file);
}

}  // namespace

void SetIniWriteFailureHandler(TIniWriteFailureHandler handler) {
  std::lock_guard<std::mutex> guard(failureLock);
  failureHandler = std::move(handler);
}

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
  // A file that cannot be read gives the defaults.
  std::vector<std::string> lines;
  std::string reason;
  if (!LoadLines(fileName_, lines, reason)) lines.clear();
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

void TIniFile::SetValue(std::vector<std::string>& lines, const std::string& section,
                        const std::string& key, const std::string& value) {
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
}

bool TIniFile::WriteValues(const std::string& section,
                           const std::vector<std::pair<std::string, std::string>>& values) {
  std::vector<std::string> lines;
  std::string reason;
  if (LoadLines(fileName_, lines, reason)) {
    std::vector<std::string> changed = lines;
    for (const auto& [key, value] : values)
      SetValue(changed, section, key, value);
    // Every value already stands: nothing to write.
    if (changed == lines) return true;
    std::error_code error;
    const auto folder = std::filesystem::path(fileName_).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, error);
    if (error) reason = error.message();
    // A new file is made as the user's files are (0666 less the umask).
    else if (WriteFileWhole(fileName_, TextOf(changed), reason, 0666)) {
      WriteSucceeded(fileName_);
      return true;
    }
  }
  WriteFailed(fileName_, reason);
  return false;
}

bool TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  return WriteValues(section, {{key, value}});
}

bool TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  return WriteString(section, key, std::to_string(value));
}

}  // namespace moskvid
