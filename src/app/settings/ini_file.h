// Windows-style ini files: "[section]" lines and "key=value" lines, section
// and key names compared without regard to case, values taken as written.
// The file is read for every read and rewritten for every write; nothing is
// cached, so one writer's value is what the next reader sees. Lines this
// class does not understand are kept as they are.
#pragma once

#include <string>
#include <vector>

namespace moskvid {

class TIniFile {
 public:
  explicit TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

  const std::string& FileName() const { return fileName_; }
  bool ValueExists(const std::string& section, const std::string& key) const;
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  // The default when the key is missing or its value is not a whole number.
  int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;
  // False when the file cannot be written.
  bool WriteString(const std::string& section, const std::string& key, const std::string& value);
  bool WriteInteger(const std::string& section, const std::string& key, int value);

 private:
  std::vector<std::string> ReadLines() const;
  // Index of the key's line within the section, or -1; `sectionEnd` is the
  // line after the section's last line (or -1 when the section is missing).
  static int FindKey(const std::vector<std::string>& lines, const std::string& section,
                     const std::string& key, int& sectionEnd);

  std::string fileName_;
};

// A strict decimal integer; false when the text is not one.
bool ParseInteger(const std::string& text, int& value);

}  // namespace moskvid
