#include "app/settings/output_plan.h"

#include <unistd.h>

#include <filesystem>
#include <set>

#include "app/settings/job_builder.h"
#include "app/settings/output_formats.h"

namespace moskvid {

namespace {

namespace fs = std::filesystem;

// Whether `folder` is one, or could be made: its nearest existing
// ancestor is a folder this user may write into.
bool FolderCanBe(const std::string& folder) {
  if (folder.empty()) return false;
  std::error_code error;
  fs::path path = fs::absolute(folder, error);
  if (error) return false;
  if (fs::is_directory(path, error)) return true;
  while (path.has_relative_path() && !fs::exists(path, error))
    path = path.parent_path();
  return fs::is_directory(path, error) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

std::string OutputExtension(const TGlobalObject& global, int format) {
  return TIniFile(global.ProfileFile()).ReadString(FormatSection(format), "FileExt", "mp4");
}

std::string OutputFolderFor(TAppSettings& settings, bool make, TWarningSink& warnings) {
  if (settings.OutputBesideSource()) return "";
  const std::string chosen = settings.OutputFolder();
  if (make) return EnsureFolder(chosen, "OutPutDir", settings.Ini(), warnings);
  std::string folder = FolderCanBe(chosen) ? chosen : DefaultOutputFolder();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::vector<std::string> PlanOutputNames(const std::vector<std::string>& sources,
                                         const std::string& folder, const std::string& extension) {
  std::vector<std::string> names;
  names.reserve(sources.size());
  std::set<std::string> given;
  for (const std::string& source : sources) {
    names.push_back(UniqueOutputName(source, "." + extension, folder, given));
    given.insert(names.back());
  }
  return names;
}

}  // namespace moskvid
