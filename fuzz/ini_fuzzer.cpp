// The ini reader and what reads through it: the settings, a job's settings
// from a profile. The input's first line names a write ("section<TAB>key<TAB>
// value"); the rest is the file. A write must read back as written and leave
// every other key as it was.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/settings/app_settings.h"
#include "app/settings/ini_file.h"
#include "app/settings/job_settings.h"
#include "app/settings/settings_choices.h"
#include "engine/option_parsing.h"
#include "fuzz_support.h"

using namespace moskvid;

namespace {

const char* const kKeys[] = {
    "FileExt",          "Format",         "paraAudioBitRate", "paraAudioEncoder",
    "paraBitExact",     "paraBufferSize", "paraChannel",      "paraCoder",
    "paraFrameRate",    "paraGop",        "paraLevel",        "paraMaxBitrate",
    "paraProfile",      "paraQscale",     "paraSampleRate",   "paraVideoBitRate",
    "paraVideoEncoder", "paraVideoSize",  "paraVolume",       "OutputFolder",
    "OutputFormat",     "Skin",           "Priority",         "SnapshotFolder"};

// A name the file format can hold: one line, no "=" in a key, no brackets
// that would make a key line look like a section line.
bool Writable(const std::string& section, const std::string& key, const std::string& value) {
  const auto oneLine = [](const std::string& text) {
    return text.find_first_of("\r\n") == std::string::npos;
  };
  return !section.empty() && Trim(section) == section && section.find(']') == std::string::npos &&
         oneLine(section) && !key.empty() && Trim(key) == key && key.front() != '[' &&
         key.find('=') == std::string::npos && oneLine(key) && oneLine(value);
}

std::vector<std::pair<std::string, std::string>> ReadAll(const TIniFile& ini,
                                                         const std::string& extraSection,
                                                         const std::string& extraKey) {
  std::vector<std::pair<std::string, std::string>> values;
  for (const std::string& section :
       {std::string("settings"), std::string("formatInfo3"), extraSection}) {
    for (const char* key : kKeys)
      values.emplace_back(section + "/" + key, ini.ReadString(section, key, "\x01"));
    values.emplace_back(section + "/" + extraKey, ini.ReadString(section, extraKey, "\x01"));
  }
  return values;
}

// Every read opens the file again, so one profile format per input keeps the
// target fast enough.
void ReadSettings(const std::string& file, int format) {
  TAppSettings settings(file);
  (void)settings.OutputFolder();
  (void)settings.OutputFormat();
  (void)settings.SkinIndex();
  (void)settings.Priority();
  (void)settings.SnapshotFolder();
  (void)settings.SnapBmp();
  (void)settings.SnapJpg();
  (void)settings.JpgQuality();
  (void)settings.SnapFullSize();
  (void)settings.SnapSmallSize();
  {
    TJobSettings job(file, file, format);
    for (int c = 0; c < kChoiceCount; ++c) {
      const char* stored = ChoiceKeys(static_cast<TChoice>(c)).Stored;
      (void)job.Value(stored, "");
      try {
        (void)job.IntegerValue(stored, "0");
      } catch (const TConversionError&) {
        // A stored value that is no number is reported, not a fault.
      }
    }
    for (const char* key : kKeys)
      (void)job.ProfileValue(key, "");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzz::RamFile file("ini");
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::string_view command = fuzz::TakeField(rest, '\n');
  const std::string section(fuzz::TakeField(command, '\t'));
  const std::string key(fuzz::TakeField(command, '\t'));
  const std::string value(command);
  file.Write(reinterpret_cast<const uint8_t*>(rest.data()), rest.size());

  ReadSettings(file.Path(), static_cast<int>(size % 14));
  TIniFile ini(file.Path());
  int number = 0;
  (void)ParseInteger(value, number);
  if (!Writable(section, key, value)) {
    (void)ini.ReadString(section, key, "");
    (void)ini.ReadInteger(section, key, 0);
    return 0;
  }

  const auto before = ReadAll(ini, section, key);
  if (!ini.WriteString(section, key, value)) fuzz::Fail("write failed");
  if (ini.ReadString(section, key, "\x01") != value)
    fuzz::Fail("the written value reads back changed");
  if (!ini.ValueExists(Trim(LowerCase(section)), LowerCase(key)))
    fuzz::Fail("the written key is not found without regard to case");
  const auto after = ReadAll(ini, section, key);
  for (size_t i = 0; i < before.size(); ++i) {
    const bool written = LowerCase(before[i].first) == LowerCase(section + "/" + key);
    if (!written && before[i].second != after[i].second)
      fuzz::Fail("writing " + section + "/" + key + " changed " + before[i].first);
  }
  return 0;
}
