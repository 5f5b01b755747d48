// Shared pieces of the command-line front end.
#pragma once

#include <string>
#include <vector>

#include "binding/media_loader.h"

namespace moskvid::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Loads the media libraries from `directory`, or, when it is empty, from the
// "LibAV" folder beside the executable when there is one, else from the
// system's search path. Prints the load error on failure.
bool LoadLibrariesForCli(const std::string& directory, bool versionedNames);
// The desktop application and the command line find the libraries by one
// rule, the binding's.
using binding::DefaultLibraryFolder;

int CheckLibsCommand(const std::vector<std::string>& args);
int TranscodeCommand(const std::vector<std::string>& args);
int InfoCommand(const std::vector<std::string>& args);
int SnapshotCommand(const std::vector<std::string>& args);
int ConvertCommand(const std::vector<std::string>& args);
int FormatsCommand(const std::vector<std::string>& args);

void PrintUsage();

}  // namespace moskvid::cli
