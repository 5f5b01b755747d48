// check-libs: loads the media libraries and tells what was loaded.
#include <cstdio>
#include <iostream>

#include "binding/media_loader.h"
#include "cli/cli_common.h"

namespace moskvid::cli {

bool LoadLibrariesForCli(const std::string& directory, bool versionedNames) {
  const std::string folder = directory.empty() ? binding::DefaultLibraryFolder() : directory;
  if (binding::LoadMediaLibraries(folder, versionedNames)) return true;
  std::cerr << binding::MediaLoadError() << "\n";
  return false;
}

int CheckLibsCommand(const std::vector<std::string>& args) {
  std::string directory;
  bool versioned = true;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--dir" && i + 1 < args.size()) {
      directory = args[++i];
    } else if (args[i] == "--plain-names") {
      versioned = false;
    } else {
      std::cerr << "check-libs: unexpected argument '" << args[i] << "'\n";
      PrintUsage();
      return kExitUsage;
    }
  }
  if (!LoadLibrariesForCli(directory, versioned)) return kExitFailed;
  using binding::MediaLibrary;
  const MediaLibrary libraries[] = {MediaLibrary::kCodec,  MediaLibrary::kFilter,
                                    MediaLibrary::kFormat, MediaLibrary::kUtil,
                                    MediaLibrary::kScale,  MediaLibrary::kResample};
  for (MediaLibrary library : libraries) {
    const unsigned version = binding::MediaLibraryVersion(library);
    std::printf("%-20s %u.%u.%u  %s\n", binding::MediaLibraryFileName(library, versioned).c_str(),
                version >> 16, (version >> 8) & 0xff, version & 0xff,
                binding::MediaLibraryLoadedPath(library).c_str());
  }
  return kExitOk;
}

}  // namespace moskvid::cli
