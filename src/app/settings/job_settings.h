// The settings one conversion job is built from: for each key, what the user
// stored for the format, or else the profile's default choice, mapped as the
// settings dialog maps it.
#pragma once

#include <stdexcept>
#include <string>

#include "app/settings/ini_file.h"

namespace moskvid {

// A stored value that must be a whole number and is not.
class TConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TJobSettings {
 public:
  TJobSettings(const std::string& configFile, const std::string& profileFile, int format);

  // "paraVideoEncoder", "paraVideoSize", ... and the H.264 keys ("paraGop",
  // ...): the stored value, the profile default, or `fallback`.
  std::string Value(const std::string& key, const std::string& fallback) const;
  // The same as a whole number; raises TConversionError when it is not one.
  int IntegerValue(const std::string& key, const std::string& fallback) const;
  // A key of the profile section itself ("FileExt", "Format", "paraProfile").
  std::string ProfileValue(const std::string& key, const std::string& fallback) const;

  int Format() const { return format_; }
  const std::string& Section() const { return section_; }

 private:
  bool ProfileDefault(const std::string& key, std::string& value) const;

  TIniFile config_;
  TIniFile profile_;
  int format_;
  std::string section_;
};

}  // namespace moskvid
