#include "app/main/run_builder.h"

#include <filesystem>
#include <set>

#include "app/settings/job_builder.h"
#include "app/settings/output_formats.h"
#include "engine/option_parsing.h"
#include "engine/part_file.h"

namespace moskvid {

namespace {

// Adds the task of one source; the reason it got none otherwise.
std::string AddRunTask(TCCAVConverter& converter, const TRunSource& source, int format,
                       const TGlobalObject& global, TWarningSink& warnings,
                       const TRunCallbacks& callbacks, const std::string& extension,
                       std::set<std::string>& given, TRunPlan& plan) {
  TAVProbe& probe = converter.Probe();
  TInputOptions input;
  input.FileName = source.Caption;
  if (!probe.Open(source.Caption)) return "***File open error: " + probe.LastError();
  if (callbacks.ShowProbe) callbacks.ShowProbe(probe);
  input.Format.clear();  // the probe was opened without a forced format
  const TlvFilesRecord& record = source.Record;
  const std::string output =
      MakeOutputFileName(probe.FileName(), "." + extension, global, warnings, "", given);
  TOutputOptions options;
  options.FileName = output;
  ApplyTrimAndCrop(record, input, options);
  BuildConversionJob(record, format, options, probe, input, global);
  const TJobShape shape = ShapeOfJob(probe, options);
  const int expectedMs = ExpectedLengthMs(probe, record);

  // The task runs from the probe's open of the file (and closes the probe).
  const int index = converter.AddInput(probe, &input);
  if (index < 0) return "***File open error: " + converter.LastError();
  // Every picture may reach the progress window; the before-hook lets
  // through only those it will draw.
  options.CustomHook = true;
  options.BeforeHook = true;
  if (!converter.SetOutput(index, output, &options)) {
    // A task without output would only fail for want of one.
    std::string reason = converter.LastError();
    converter.RemoveTask(index);
    // The engine's text names the file only; a folder that cannot be
    // written (a source's own, say) is the usual cause, and says so.
    std::string why;
    if (!TPartFile(output).FolderWritable(why)) {
      reason += ": the folder " + std::filesystem::path(output).parent_path().string() +
                " cannot be written (" + why + ")";
    }
    return reason;
  }
  given.insert(output);
  plan.TaskMap.push_back(source.Position);
  plan.Outputs.push_back(output);
  plan.Shapes.push_back(shape);
  plan.ExpectedMs.push_back(expectedMs);
  return "";
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
    std::string failure;
    try {
      failure = AddRunTask(converter, source, format, global, warnings, callbacks, extension, given,
                           plan);
    } catch (...) {
      // A bad stored setting stops the whole run before anything starts.
      converter.Probe().Close();
      converter.ClearTasks();
      throw;
    }
    if (!failure.empty()) plan.Failed.push_back({source.Position, failure});
    converter.Probe().Close();
  }
  return plan;
}

std::vector<std::string> PlanOutputNames(const std::vector<std::string>& sources,
                                         const std::string& folder, const std::string& extension) {
  std::vector<std::string> names;
  std::set<std::string> given;
  for (const std::string& source : sources) {
    names.push_back(UniqueOutputName(source, "." + extension, folder, given));
    given.insert(names.back());
  }
  return names;
}

}  // namespace moskvid
