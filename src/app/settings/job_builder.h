// Turning a file's record, the chosen format and the stored settings into
// one conversion task's option records, and naming output files.
#pragma once

#include <optional>
#include <set>
#include <string>

#include "app/settings/app_settings.h"
#include "app/settings/file_record.h"
#include "app/settings/global_object.h"
#include "app/settings/job_settings.h"
#include "app/settings/quality_choice.h"
#include "component/av_probe.h"
#include "engine/option_records.h"

namespace moskvid {

// Letter box: fits the source (Ws x Hs) into the target (Wo x Ho) keeping its
// shape, with bars; writes the frame size, aspect and pads of `output`.
void FitToFrame(int sourceWidth, int sourceHeight, int targetWidth, int targetHeight, int cropTop,
                int cropBottom, int cropLeft, int cropRight, TOutputOptions& output);

// The record's trim and crop on a job's options: the start on `input`, the
// length and the crop (when any side is cut) on `output`.
void ApplyTrimAndCrop(const TlvFilesRecord& record, TInputOptions& input, TOutputOptions& output);

// What a built job is, beyond its option records: the quality it was built
// for (its passes are the output options' Passes).
struct TJobChoices {
  TQuality Quality = qlBalanced;
};

// The reference pictures an H.264 stream of `width` x `height` may keep at
// `level` (21 = 2.1): the level's decoded-picture buffer over the picture's
// size, at most 16; 16 for a level not in the table.
int MaxReferenceFrames(int level, int width, int height);

// Fills `output` and `input` for one file (the caller has already set the
// output name and applied the record's trim and crop). `probe` is open on
// the source with its last frame decoded. Raises TConversionError when a
// stored number is not one. `quality`, when given, stands for the format's
// stored choice (the command line's --quality).
TJobChoices BuildConversionJob(const TlvFilesRecord& record, int format, TOutputOptions& output,
                               TAVProbe& probe, TInputOptions& input, const TGlobalObject& global,
                               std::optional<TQuality> quality = std::nullopt);

// The source's name without its last extension, "_(new)" and `suffix` in
// `folder` (the source's own folder when empty); "_(new_1)", "_(new_2)" ...
// while the name is taken (the file or its part exists, or the name is in
// `reserved`). The folder is not made.
std::string UniqueOutputName(const std::string& source, const std::string& suffix,
                             const std::string& folder, const std::set<std::string>& reserved);

// UniqueOutputName in the output folder: `folder` when set; else the
// source's own folder with "Same folder as the source", or the stored output
// folder (ensured). Whoever names the outputs of one run passes the names
// given so far in it, since none of those files is written before the run
// starts.
std::string MakeOutputFileName(const std::string& source, const std::string& suffix,
                               const TGlobalObject& global, TWarningSink& warnings,
                               const std::string& folder = "",
                               const std::set<std::string>& reserved = {});

}  // namespace moskvid
