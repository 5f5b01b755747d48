// Adding files to the list, free of window code: each path is opened as a
// task of a converter, described in the log, and handed to the list with
// its new record.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/settings/app_settings.h"
#include "app/settings/file_record.h"
#include "app/settings/global_object.h"
#include "component/cc_av_converter.h"

namespace moskvid {

struct TAddCallbacks {
  // Whether an entry with exactly this caption is listed already.
  std::function<bool(const std::string& path)> Listed;
  // Adds the entry; the record's BatchIndex is the path's position.
  std::function<void(const TlvFilesRecord& record)> Add;
  // One line for the log.
  std::function<void(const std::string& line)> Log;
};

// One file as the list takes it: its record (its source always, the rest
// only when opened; never an output name), its sound tracks and its lines
// for the log; `Opened` is false when it could not be opened, and then the
// lines say why.
struct TProbedFile {
  TlvFilesRecord Record;
  std::vector<TAVAudioTrack> AudioTracks;
  std::vector<std::string> Log;
  bool Opened = false;
};

// Opens `path` as a task of `converter` and describes it; the converter's
// task list is cleared afterwards. `position` becomes the BatchIndex.
TProbedFile ProbeForList(TCCAVConverter& converter, const std::string& path, int position);

// Adds `paths` in order. Folders and listed captions are skipped; a file
// that cannot be opened is logged and the rest still go in. The converter's
// task list is cleared before and after.
void AddFilesToList(TCCAVConverter& converter, const std::vector<std::string>& paths, int format,
                    const TGlobalObject& global, TWarningSink& warnings,
                    const TAddCallbacks& callbacks);

}  // namespace moskvid
