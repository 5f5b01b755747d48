#include "app/main/run_builder.h"

#include <set>

#include "app/settings/job_builder.h"
#include "app/settings/output_formats.h"
#include "engine/option_parsing.h"

namespace moskvid {

namespace {

// Adds the task of one source; false (with the reason logged) when the
// source cannot be opened.
bool AddRunTask(TCCAVConverter& converter, const TRunSource& source, int format,
                const TGlobalObject& global, TWarningSink& warnings, const TRunCallbacks& callbacks,
                const std::string& extension, std::set<std::string>& given, TRunPlan& plan) {
  TAVProbe& probe = converter.Probe();
  TInputOptions input;
  input.FileName = source.Caption;
  if (!probe.Open(source.Caption)) {
    callbacks.Log("***File open error: " + probe.LastError());
    return false;
  }
  if (callbacks.ShowProbe) callbacks.ShowProbe(probe);
  input.Format.clear();  // the probe was opened without a forced format
  const TlvFilesRecord& record = source.Record;
  if (record.TrimStart >= 0) input.StartTime = record.TrimStart;
  const std::string output =
      MakeOutputFileName(probe.FileName(), "." + extension, global, warnings, "", given);
  TOutputOptions options;
  options.FileName = output;
  if (record.CropTop > 0 || record.CropBottom > 0 || record.CropLeft > 0 || record.CropRight > 0) {
    options.CropTop = record.CropTop;
    options.CropBottom = record.CropBottom;
    options.CropLeft = record.CropLeft;
    options.CropRight = record.CropRight;
  }
  if (record.TrimLength > 0) options.Duration = record.TrimLength;
  BuildConversionJob(record, format, options, probe, input, global);
  probe.Close();

  const int index = converter.AddInput(source.Caption, &input);
  if (index < 0) {
    callbacks.Log("***File open error: " + converter.LastError());
    return false;
  }
  // Every picture may reach the progress window; the before-hook lets
  // through only those it will draw.
  options.CustomHook = true;
  options.BeforeHook = true;
  if (!converter.SetOutput(index, output, &options)) callbacks.Log(converter.LastError());
  given.insert(output);
  plan.TaskMap.push_back(source.Position);
  plan.Outputs.push_back(output);
  return true;
}

}  // namespace

TRunPlan BuildRunTasks(TCCAVConverter& converter, const std::vector<TRunSource>& sources,
                       int format, const TGlobalObject& global, TWarningSink& warnings,
                       const TRunCallbacks& callbacks) {
  converter.ClearTasks();
  const std::string extension =
      TIniFile(global.ProfileFile()).ReadString(FormatSection(format), "FileExt", "mp4");
  TRunPlan plan;
  std::set<std::string> given;
  for (const TRunSource& source : sources) {
    bool added = false;
    try {
      added = AddRunTask(converter, source, format, global, warnings, callbacks, extension, given,
                         plan);
    } catch (...) {
      // A bad stored setting stops the whole run before anything starts.
      converter.Probe().Close();
      converter.ClearTasks();
      throw;
    }
    if (!added) plan.Failed.push_back(source.Position);
    converter.Probe().Close();
  }
  return plan;
}

}  // namespace moskvid
