#include "app/main/file_adder.h"

#include <filesystem>

#include "app/settings/job_builder.h"
#include "app/settings/output_formats.h"

namespace moskvid {

TProbedFile ProbeForList(TCCAVConverter& converter, const std::string& path, int position) {
  TProbedFile probed;
  probed.Record.SourceFile = path;
  TInputOptions input;
  input.FileName = path;
  const int index = converter.AddInput(path, &input);
  if (index < 0) {
    probed.Log = {"", "***File open error: " + converter.LastError(), ""};
    return probed;
  }
  TAVProbe* probe = converter.TaskProbe(index);
  TAVFormatInfo info;
  probe->GetFormatInfo(info);
  const int64_t seconds = info.Duration > 0 ? info.Duration / 1000000 : 0;
  probed.Log = {"", probe->InfoText(), std::to_string(seconds),
                std::to_string(probe->ProbeFileSize())};
  probed.Record.BatchIndex = static_cast<int32_t>(position);
  probed.Record.Duration = static_cast<int32_t>(seconds);
  probed.AudioTracks = probe->AudioTracks();
  probed.Opened = true;
  converter.RemoveTask(index);
  converter.ClearTasks();
  return probed;
}

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
    TProbedFile probed = ProbeForList(converter, path, static_cast<int>(position));
    for (const std::string& line : probed.Log)
      callbacks.Log(line);
    if (!probed.Opened) continue;
    probed.Record.OutputFile = destination;
    callbacks.Add(probed.Record);
  }
  converter.ClearTasks();
}

}  // namespace moskvid
