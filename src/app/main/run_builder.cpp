#include "app/main/run_builder.h"

#include <filesystem>

#include "app/settings/job_builder.h"
#include "engine/part_file.h"

namespace moskvid {

namespace {

// Adds the task of one source; the reason it got none otherwise.
std::string AddRunTask(TCCAVConverter& converter, const TRunSource& source, int format,
                       const TGlobalObject& global, TRunPlan& plan) {
  TAVProbe& probe = converter.Probe();
  TInputOptions input;
  // The stored path, byte for byte: a name that is not UTF-8 is shown with
  // replacement characters, but opened as it is.
  const TlvFilesRecord& record = source.Record;
  input.FileName = record.SourceFile;
  if (!probe.Open(record.SourceFile)) return "***File open error: " + probe.LastError();
  input.Format.clear();  // the probe was opened without a forced format
  const std::string& output = source.Output;
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
  plan.TaskMap.push_back(source.Position);
  plan.Outputs.push_back(output);
  plan.Shapes.push_back(shape);
  plan.ExpectedMs.push_back(expectedMs);
  return "";
}

}  // namespace

TRunPlan BuildRunTasks(TCCAVConverter& converter, const std::vector<TRunSource>& sources,
                       int format, const TGlobalObject& global,
                       const std::atomic<bool>* cancelled) {
  converter.ClearTasks();
  TRunPlan plan;
  for (const TRunSource& source : sources) {
    if (cancelled && cancelled->load()) break;
    std::string failure;
    try {
      failure = AddRunTask(converter, source, format, global, plan);
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

}  // namespace moskvid
