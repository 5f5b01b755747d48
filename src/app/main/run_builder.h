// Building the tasks of a conversion run from the checked entries of the
// file list, free of window code.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/settings/app_settings.h"
#include "app/settings/file_record.h"
#include "app/settings/global_object.h"
#include "component/cc_av_converter.h"

namespace moskvid {

struct TRunSource {
  int Position = 0;  // in the file list
  std::string Caption;
  TlvFilesRecord Record;
};

struct TRunPlan {
  std::vector<int> TaskMap;          // element k: list position of task k
  std::vector<std::string> Outputs;  // element k: output file of task k
  std::vector<int> Failed;           // list positions that got no task
};

struct TRunCallbacks {
  // The component's probe has just opened a source: show it in the preview.
  std::function<void(TAVProbe& probe)> ShowProbe;
  std::function<void(const std::string& line)> Log;
};

// Clears the task list and adds one task per source, in order, each asking
// for the picture hook gated by the before-hook. No two outputs of the run
// get the same name. A source that cannot be opened is logged and left out.
// Errors of the stored settings raise (after the task list is cleared again).
TRunPlan BuildRunTasks(TCCAVConverter& converter, const std::vector<TRunSource>& sources,
                       int format, const TGlobalObject& global, TWarningSink& warnings,
                       const TRunCallbacks& callbacks);

}  // namespace moskvid
