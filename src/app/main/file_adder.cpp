#include "app/main/file_adder.h"

#include <filesystem>

#include "app/settings/job_builder.h"
#include "app/settings/output_formats.h"

namespace moskvid {

void AddFilesToList(TCCAVConverter& converter, const std::vector<std::string>& paths, int format,
                    const TGlobalObject& global, TWarningSink& warnings,
                    const TAddCallbacks& callbacks) {
  converter.ClearTasks();
  const std::string extension =
      TIniFile(global.ProfileFile()).ReadString(FormatSection(format), "FileExt", "mp4");
  for (size_t position = 0; position < paths.size(); ++position) {
    const std::string& path = paths[position];
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) continue;
    if (callbacks.Listed(path)) continue;
    const std::string destination = MakeOutputFileName(path, "." + extension, global, warnings);
    TInputOptions input;
    input.FileName = path;
    const int index = converter.AddInput(path, &input);
    if (index < 0) {
      callbacks.Log("");
      callbacks.Log("***File open error: " + converter.LastError());
      callbacks.Log("");
      continue;
    }
    TAVProbe* probe = converter.TaskProbe(index);
    TAVFormatInfo info;
    probe->GetFormatInfo(info);
    const int64_t seconds = info.Duration > 0 ? info.Duration / 1000000 : 0;
    callbacks.Log("");
    callbacks.Log(probe->InfoText());
    callbacks.Log(std::to_string(seconds));
    callbacks.Log(std::to_string(probe->ProbeFileSize()));

    TlvFilesRecord record;
    record.BatchIndex = static_cast<int32_t>(position);
    record.SourceFile = path;
    record.OutputFile = destination;
    record.Duration = static_cast<int32_t>(seconds);
    callbacks.Add(record);
    converter.RemoveTask(index);
    converter.ClearTasks();
  }
}

}  // namespace moskvid
