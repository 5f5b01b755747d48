// Where the list's outputs go and what they are called: worked out by one
// rule for the Destination column, for files being added and for Start, so
// that the column always shows what Start writes.
#pragma once

#include <string>
#include <vector>

#include "app/settings/app_settings.h"
#include "app/settings/global_object.h"

namespace moskvid {

// The file extension of `format`'s outputs, without the dot.
std::string OutputExtension(const TGlobalObject& global, int format);

// The folder outputs go to, ending in '/', or "" for each source's own
// folder ("Same folder as the source"). The chosen folder when it is one or
// can be made; otherwise the default folder, where Start falls back. With
// `make` the folder is made and a fallback is warned of and stored, as
// Start does; without, nothing on disk or in the settings changes.
std::string OutputFolderFor(TAppSettings& settings, bool make, TWarningSink& warnings);

// The output names of `sources`, in order, for `extension` in `folder` (as
// OutputFolderFor gives it): each unique among them and against the files
// and parts there.
std::vector<std::string> PlanOutputNames(const std::vector<std::string>& sources,
                                         const std::string& folder, const std::string& extension);

}  // namespace moskvid
