// The ini reader and what reads through it: the settings, a job's settings
// from a profile. The input's first line names a write ("section<TAB>key<TAB>
// value"); the rest is the file. A write must read back as written and leave
// every other key as it was. The reader opens the file again for every
// read, so each input reads the keys its own text holds (a bounded number)
// and only a few of the settings and job settings, picked by the input size.
#include <cstddef>
#include <cstdint>
#include <iterator>
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

// At most this many of the keys a text holds are compared around the write.
constexpr size_t kMaxKeys = 10;

using TKey = std::pair<std::string, std::string>;  // section, key

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

// The section and key names the text spells out, in order, without repeats;
// a rough look at the lines, enough to pick names that are worth reading.
std::vector<TKey> KeysOf(std::string_view text, const TKey& written) {
  std::vector<TKey> keys{written, {"settings", "OutputFolder"}};
  std::string section;
  while (!text.empty() && keys.size() < kMaxKeys) {
    const std::string line = Trim(std::string(fuzz::TakeField(text, '\n')));
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      section = Trim(line.substr(1, line.size() - 2));
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    TKey key{section, Trim(line.substr(0, equals))};
    bool known = false;
    for (const TKey& k : keys)
      known = known || (LowerCase(k.first) == LowerCase(key.first) &&
                        LowerCase(k.second) == LowerCase(key.second));
    if (!known) keys.push_back(std::move(key));
  }
  return keys;
}

std::vector<std::string> ReadAll(const TIniFile& ini, const std::vector<TKey>& keys) {
  std::vector<std::string> values;
  for (const auto& [section, key] : keys)
    values.push_back(ini.ReadString(section, key, "\x01"));
  return values;
}

// Two of the settings and one choice and one profile key of one format.
void ReadSettings(const std::string& file, size_t pick) {
  TAppSettings settings(file);
  switch (pick % 5) {
    case 0:
      (void)settings.OutputFolder();
      (void)settings.SnapBmp();
      break;
    case 1:
      (void)settings.OutputFormat();
      (void)settings.SnapJpg();
      break;
    case 2:
      (void)settings.SkinIndex();
      (void)settings.JpgQuality();
      break;
    case 3:
      (void)settings.Priority();
      (void)settings.SnapFullSize();
      break;
    default:
      (void)settings.SnapshotFolder();
      (void)settings.SnapSmallSize();
      break;
  }
  TJobSettings job(file, file, static_cast<int>(pick % 14));
  const char* stored = ChoiceKeys(static_cast<TChoice>(pick % kChoiceCount)).Stored;
  (void)job.Value(stored, "");
  try {
    (void)job.IntegerValue(stored, "0");
  } catch (const TConversionError&) {
    // A stored value that is no number is reported, not a fault.
  }
  (void)job.ProfileValue(kKeys[pick % std::size(kKeys)], "");
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

  ReadSettings(file.Path(), size);
  TIniFile ini(file.Path());
  int number = 0;
  (void)ParseInteger(value, number);
  if (!Writable(section, key, value)) {
    (void)ini.ReadString(section, key, "");
    (void)ini.ReadInteger(section, key, 0);
    return 0;
  }

  const std::vector<TKey> keys = KeysOf(rest, {section, key});
  const auto before = ReadAll(ini, keys);
  if (!ini.WriteString(section, key, value)) fuzz::Fail("write failed");
  if (ini.ReadString(section, key, "\x01") != value)
    fuzz::Fail("the written value reads back changed");
  if (!ini.ValueExists(Trim(LowerCase(section)), LowerCase(key)))
    fuzz::Fail("the written key is not found without regard to case");
  const auto after = ReadAll(ini, keys);
  for (size_t i = 0; i < keys.size(); ++i) {
    const bool written = LowerCase(keys[i].first) == LowerCase(section) &&
                         LowerCase(keys[i].second) == LowerCase(key);
    if (!written && before[i] != after[i])
      fuzz::Fail("writing " + section + "/" + key + " changed " + keys[i].first + "/" +
                 keys[i].second);
  }
  return 0;
}
