// Where the program's shipped files are found: beside the executable (a
// build tree, or a copy carried around with its files), else where
// `cmake --install` put them.
#pragma once

#include <string>
#include <vector>

namespace moskvid {

// `relative` in the first of `folders` (each with a trailing '/') that holds
// it; when none does, in the last folder, so messages name the place it
// belongs.
std::string FirstExisting(const std::vector<std::string>& folders, const std::string& relative);

// A shipped data file ("moskvidformat.ini", "help.html", "skin/lvBack.bmp"):
// beside the executable, else in the install data folder.
std::string DataFile(const std::string& relative);

// True when `executableFolder` is the install program folder: such a
// program never writes beside itself, even when it may (as root).
bool IsInstallProgramFolder(const std::string& executableFolder, const std::string& installBinDir);
// The same for the running program.
bool RunningInstalled();

// A frame hook module named by the "vhook" option. A name with a folder part
// ("./name.so" for the current folder) is taken as given; a bare name is
// looked for in "hooks/" beside the executable, then in the install module
// folder.
std::string HookModulePath(const std::string& name);

}  // namespace moskvid
