// The ini reader and what reads through it: the settings, a job's settings
// from a profile. The input's first line names a write ("section<TAB>key<TAB>
// value"); the rest is the file. The write must read back as written, and the
// file must come back line for line as it was but for the written key's line
// (changed, inserted, or appended under a new section). The reader parses
// the whole file for every read, so an input makes only a few reads: the
// written key, one other key its text holds, and one setting and one job
// setting picked by the input size.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
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

bool SameName(const std::string& a, const std::string& b) {
  return LowerCase(a) == LowerCase(b);
}

// The lines of a file as the reader sees them: split at line feeds, one
// carriage return dropped from each end, no line after a final line feed.
std::vector<std::string> LinesOf(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    std::string line(fuzz::TakeField(text, '\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string FileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The key of a "key=value" line, trimmed; false for any other line.
bool KeyOf(const std::string& line, std::string& key) {
  const std::string trimmed = Trim(line);
  if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') return false;
  const size_t equals = line.find('=');
  if (equals == std::string::npos) return false;
  key = Trim(line.substr(0, equals));
  return true;
}

// Fails unless `after` is `before` with only the written key's line changed,
// or that line inserted, or appended after a new section line (and a blank
// line to set it apart).
void CheckOnlyTheKeyChanged(const std::vector<std::string>& before,
                            const std::vector<std::string>& after, const std::string& section,
                            const std::string& key, const std::string& value) {
  size_t prefix = 0;
  while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix])
    ++prefix;
  size_t suffix = 0;
  while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
    ++suffix;
  const std::vector<std::string> removed(before.begin() + prefix, before.end() - suffix);
  const std::vector<std::string> added(after.begin() + prefix, after.end() - suffix);
  std::string found;
  // The same value written again leaves the file as it was.
  if (removed.empty() && added.empty()) return;
  if (removed.size() == 1 && added.size() == 1) {
    // The key keeps its spelling and everything up to its "=".
    const std::string& old = removed[0];
    if (KeyOf(old, found) && SameName(found, key) &&
        added[0] == old.substr(0, old.find('=') + 1) + value)
      return;
  } else if (removed.empty() && !added.empty() && added.back() == key + "=" + value) {
    if (added.size() == 1) return;
    if (added.size() <= 3 && added[added.size() - 2] == "[" + section + "]" &&
        (added.size() == 2 || Trim(added[0]).empty()))
      return;
  }
  fuzz::Fail("writing " + section + "/" + key + " changed other lines (" +
             std::to_string(removed.size()) + " lines became " + std::to_string(added.size()) +
             ")");
}

// The first key of the text that is not the written one, in its section.
bool OtherKey(std::string_view text, const std::string& section, const std::string& key,
              std::string& otherSection, std::string& otherKey) {
  std::string current;
  while (!text.empty()) {
    const std::string line = Trim(std::string(fuzz::TakeField(text, '\n')));
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      current = Trim(line.substr(1, line.size() - 2));
      continue;
    }
    std::string name;
    if (!KeyOf(line, name) || name.empty()) continue;
    if (SameName(current, section) && SameName(name, key)) continue;
    otherSection = current;
    otherKey = name;
    return true;
  }
  return false;
}

// One of the settings, and one choice or profile key of one format.
void ReadSettings(const std::string& file, size_t pick) {
  TAppSettings settings(file);
  switch (pick % 5) {
    case 0:
      (void)settings.OutputFolder();
      break;
    case 1:
      (void)settings.OutputFormat();
      break;
    case 2:
      (void)settings.SkinIndex();
      break;
    case 3:
      (void)settings.SnapFullSize();
      break;
    default:
      (void)settings.SnapshotFolder();
      break;
  }
  TJobSettings job(file, file, static_cast<int>(pick % 14));
  const char* stored = ChoiceKeys(static_cast<TChoice>(pick % kChoiceCount)).Stored;
  switch (pick / 5 % 3) {
    case 0:
      (void)job.Value(stored, "");
      break;
    case 1:
      try {
        (void)job.IntegerValue(stored, "0");
      } catch (const TConversionError&) {
        // A stored value that is no number is reported, not a fault.
      }
      break;
    default:
      (void)job.ProfileValue(kKeys[pick % std::size(kKeys)], "");
      break;
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

  ReadSettings(file.Path(), size);
  TIniFile ini(file.Path());
  int number = 0;
  (void)ParseInteger(value, number);
  if (!Writable(section, key, value)) {
    (void)ini.ReadInteger(section, key, 0);
    return 0;
  }

  std::string otherSection, otherKey, otherBefore;
  const bool other = OtherKey(rest, section, key, otherSection, otherKey);
  if (other) otherBefore = ini.ReadString(otherSection, otherKey, "\x01");
  if (!ini.WriteString(section, key, value)) fuzz::Fail("write failed");
  if (ini.ReadString(section, key, "\x01") != value)
    fuzz::Fail("the written value reads back changed");
  if (!ini.ValueExists(Trim(LowerCase(section)), LowerCase(key)))
    fuzz::Fail("the written key is not found without regard to case");
  if (other && ini.ReadString(otherSection, otherKey, "\x01") != otherBefore)
    fuzz::Fail("writing " + section + "/" + key + " changed " + otherSection + "/" + otherKey);
  CheckOnlyTheKeyChanged(LinesOf(rest), LinesOf(FileText(file.Path())), section, key, value);
  return 0;
}
