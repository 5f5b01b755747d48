// Building the tasks of a conversion run from the checked entries of the
// file list, free of window code.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "app/settings/app_settings.h"
#include "app/settings/file_record.h"
#include "app/settings/global_object.h"
#include "app/settings/simultaneous.h"
#include "component/cc_av_converter.h"

namespace moskvid {

struct TRunSource {
  int Position = 0;  // in the file list
  TlvFilesRecord Record;
  std::string Output;  // the name planned for its output
};

// A source that got no task, and why.
struct TRunFailure {
  int Position = 0;
  std::string Reason;
  bool operator==(const TRunFailure&) const = default;
};

struct TRunPlan {
  std::vector<int> TaskMap;          // element k: list position of task k
  std::vector<std::string> Outputs;  // element k: output file of task k
  std::vector<TRunFailure> Failed;   // the sources that got no task
  std::vector<TJobShape> Shapes;     // element k: what task k converts
  std::vector<int> ExpectedMs;       // element k: the length task k converts, -1 unknown
};

// Clears the task list and adds one task per source, in order, each asking
// for the picture hook gated by the before-hook and writing to the source's
// planned output. Each source is opened once: its task runs from that open.
// A source that cannot be opened, or whose output cannot be created, gets
// no task: it is in the plan's failures with the reason. Errors of the
// stored settings raise (after the task list is cleared again). Once
// `cancelled` is set, the sources left get no task.
TRunPlan BuildRunTasks(TCCAVConverter& converter, const std::vector<TRunSource>& sources,
                       int format, const TGlobalObject& global,
                       const std::atomic<bool>* cancelled = nullptr);

}  // namespace moskvid
