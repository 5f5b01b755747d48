// How many conversions run side by side: the "Simultaneous conversions"
// preference in "moskvid.ini" and the rule its "Auto" follows.
#pragma once

#include <string>
#include <vector>

#include "app/settings/file_record.h"
#include "app/settings/ini_file.h"
#include "component/av_probe.h"
#include "engine/option_records.h"

namespace moskvid {

// The stored choice: 1 (one after another, the default) to 8, or Auto.
inline constexpr int kSimultaneousAuto = 0;
inline constexpr int kMostSimultaneous = 8;

int ReadSimultaneous(const TIniFile& config);
void WriteSimultaneous(TIniFile& config, int simultaneous);

// The preference's choices in order, "1" to "8" and "Auto", and the stored
// value of each.
std::vector<std::string> SimultaneousChoices();
int SimultaneousOfChoice(int choice);
int ChoiceOfSimultaneous(int simultaneous);

// "auto" or a count from 1 to 64 (the command line's --jobs).
bool ParseSimultaneous(const std::string& text, int& simultaneous);

// What Auto looks at in each job of a run.
struct TJobShape {
  bool Video = false;  // a picture is decoded and encoded
  int Width = 0, Height = 0;
};

// What a job built from `probe` (open on its source) with `output` converts.
TJobShape ShapeOfJob(TAVProbe& probe, const TOutputOptions& output);
// The length it converts in milliseconds after the record's trim, -1 unknown.
int ExpectedLengthMs(TAVProbe& probe, const TlvFilesRecord& record);

// Auto: enough tasks to keep every core busy without crowding them. Sound
// encoders run on one core each, so sound-only runs take one task per core.
// Pictures up to standard definition leave the decoder's threads idle much
// of the time, so they take one task per core as well; larger pictures keep
// the cores busy with the decoder's own threads, so those runs take one task
// per eight cores.
int AutoSimultaneous(const std::vector<TJobShape>& jobs, int cores);
// The tasks to run at once for a stored choice (Auto resolved), at most one
// per job and never below 1.
int SimultaneousFor(int simultaneous, const std::vector<TJobShape>& jobs, int cores);

}  // namespace moskvid
