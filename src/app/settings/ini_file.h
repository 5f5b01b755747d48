// Windows-style ini files: "[section]" lines and "key=value" lines, section
// and key names compared without regard to case, values taken as written.
// The file is read for every read and rewritten whole for every write that
// changes it (a temporary file renamed over it, so a full disk leaves the old
// file as it was); nothing is cached, so one writer's value is what the next
// reader sees. Lines this class does not understand are kept as they are.
#pragma once

#include <functional>
#include <string>
#include <utility>
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
  // False when the file cannot be written; it is then as it was. A value
  // that already stands is not written again.
  bool WriteString(const std::string& section, const std::string& key, const std::string& value);
  bool WriteInteger(const std::string& section, const std::string& key, int value);
  // Several keys of one section in one rewrite of the file, in order (a key
  // named twice keeps the later value); all or none are written.
  bool WriteValues(const std::string& section,
                   const std::vector<std::pair<std::string, std::string>>& values);

 private:
  std::vector<std::string> ReadLines() const;
  // Sets the key's value in `lines`, adding the key or the section.
  static void SetValue(std::vector<std::string>& lines, const std::string& section,
                       const std::string& key, const std::string& value);
  // Index of the key's line within the section, or -1; `sectionEnd` is the
  // line after the section's last line (or -1 when the section is missing).
  static int FindKey(const std::vector<std::string>& lines, const std::string& section,
                     const std::string& key, int& sectionEnd);

  std::string fileName_;
};

// Called when a write of an ini file fails for a reason other than the last
// one reported for that file; a write that succeeds forgets that reason, so
// its next failure is reported again. Replaces any handler set before; an
// empty one reports nothing (and a failure then counts as not reported).
// The handler runs on the writing thread under this seam's lock, so once
// this returns the old handler is neither running nor called again: it
// should only queue the report, and never write an ini file itself.
using TIniWriteFailureHandler =
    std::function<void(const std::string& file, const std::string& reason)>;
void SetIniWriteFailureHandler(TIniWriteFailureHandler handler);

// A strict decimal integer; false when the text is not one.
bool ParseInteger(const std::string& text, int& value);

}  // namespace moskvid
