// Loads the six media libraries and binds their entry points.
#pragma once

#include <string>

namespace moskvid::binding {

enum class MediaLibrary { kCodec, kFilter, kFormat, kUtil, kScale, kResample };
inline constexpr int kMediaLibraryCount = 6;

// Loads libavcodec, libavfilter, libavformat, libavutil, libswscale and
// libswresample from `directory` (empty: the system search path), with the
// versioned sonames ("libavcodec.so.59") or the plain development names
// ("libavcodec.so"). True at once when the set is already loaded. On failure
// every library is unloaded again and MediaLoadError() tells the first fault.
// Call from one thread, before any conversion starts.
bool LoadMediaLibraries(const std::string& directory, bool versionedNames);
void UnloadMediaLibraries();
bool MediaLibrariesLoaded();
std::string MediaLoadError();

// Where a program looks for the libraries unless told otherwise: the "LibAV"
// folder beside its executable when there is one (a private copy shipped with
// it), else "" (the system's search path).
std::string DefaultLibraryFolder();

bool CodecLibraryReady();
bool FilterLibraryReady();
bool FormatLibraryReady();
bool UtilLibraryReady();
bool ScaleLibraryReady();
bool ResampleLibraryReady();

// The file name a library is loaded under, and the file it was loaded from.
std::string MediaLibraryFileName(MediaLibrary library, bool versionedNames);
std::string MediaLibraryLoadedPath(MediaLibrary library);
// The library's own version number (AV_VERSION_INT form); 0 when not loaded.
unsigned MediaLibraryVersion(MediaLibrary library);

// The library log level as last read or set (the log capture gates on it).
int SavedLogLevel();
void SetSavedLogLevel(int level);

}  // namespace moskvid::binding
