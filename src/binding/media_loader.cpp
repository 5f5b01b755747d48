#include "binding/media_loader.h"

#include <dlfcn.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string_view>

#include "binding/entry_points.h"
#include "binding/my_utils.h"

namespace moskvid::binding {

AvCodecEntryPoints gAvCodec;
AvFilterEntryPoints gAvFilter;
AvFormatEntryPoints gAvFormat;
AvUtilEntryPoints gAvUtil;
SwScaleEntryPoints gSwScale;
SwResampleEntryPoints gSwResample;

namespace {

struct LibraryState {
  const char* baseName = "";  // "libavcodec"
  int majorVersion = 0;       // of the headers built against
  void* handle = nullptr;
  bool versionedNames = true;
  bool resolved = false;
  std::string error;
  std::string fileName;
};

LibraryState MakeState(const char* baseName, int majorVersion) {
  LibraryState state;
  state.baseName = baseName;
  state.majorVersion = majorVersion;
  return state;
}

std::array<LibraryState, kMediaLibraryCount> gLibraries{
    MakeState("libavcodec", LIBAVCODEC_VERSION_MAJOR),
    MakeState("libavfilter", LIBAVFILTER_VERSION_MAJOR),
    MakeState("libavformat", LIBAVFORMAT_VERSION_MAJOR),
    MakeState("libavutil", LIBAVUTIL_VERSION_MAJOR),
    MakeState("libswscale", LIBSWSCALE_VERSION_MAJOR),
    MakeState("libswresample", LIBSWRESAMPLE_VERSION_MAJOR),
};

// Loading may run on a thread of its own (the list's adder) while the window
// thread asks for the libraries too: one load at a time.
std::mutex gLoadLock;
std::atomic<bool> gAllLoaded{false};
std::string gLoadError;
// Read by the log capture on every thread.
std::atomic<int> gSavedLogLevel{AV_LOG_INFO};

std::string SystemErrorText() {
  const char* text = dlerror();
  return text ? text : "unknown error";
}

LibraryState& State(MediaLibrary library) {
  return gLibraries[static_cast<size_t>(library)];
}

std::string BuildFileName(const LibraryState& state, bool versionedNames) {
  char name[64];
  if (versionedNames) {
    std::snprintf(name, sizeof name, "%s.so.%d", state.baseName, state.majorVersion);
  } else {
    std::snprintf(name, sizeof name, "%s.so", state.baseName);
  }
  return name;
}

// Fills one table in list order; the first missing name stops the lookup.
template <typename Table>
bool ResolveTable(LibraryState& state, Table& table,
                  const std::initializer_list<std::pair<const char*, void**>>& slots) {
  for (const auto& [name, slot] : slots) {
    dlerror();
    void* address = dlsym(state.handle, name);
    if (!address) {
      char text[1024];
      std::snprintf(text, sizeof text, "Load function %s@%s error: %s", name,
                    state.fileName.c_str(), SystemErrorText().c_str());
      state.error = text;
      return false;
    }
    *slot = address;
  }
  (void)table;
  return true;
}

#define MOSKVID_SLOT(name) {#name, reinterpret_cast<void**>(&table.name)},

bool Resolve(MediaLibrary library, LibraryState& state) {
  switch (library) {
    case MediaLibrary::kCodec: {
      auto& table = gAvCodec;
      return ResolveTable(state, table, {MOSKVID_AVCODEC_ENTRY_POINTS(MOSKVID_SLOT)});
    }
    case MediaLibrary::kFilter: {
      auto& table = gAvFilter;
      return ResolveTable(state, table, {MOSKVID_AVFILTER_ENTRY_POINTS(MOSKVID_SLOT)});
    }
    case MediaLibrary::kFormat: {
      auto& table = gAvFormat;
      return ResolveTable(state, table, {MOSKVID_AVFORMAT_ENTRY_POINTS(MOSKVID_SLOT)});
    }
    case MediaLibrary::kUtil: {
      auto& table = gAvUtil;
      return ResolveTable(state, table, {MOSKVID_AVUTIL_ENTRY_POINTS(MOSKVID_SLOT)});
    }
    case MediaLibrary::kScale: {
      auto& table = gSwScale;
      return ResolveTable(state, table, {MOSKVID_SWSCALE_ENTRY_POINTS(MOSKVID_SLOT)});
    }
    case MediaLibrary::kResample: {
      auto& table = gSwResample;
      return ResolveTable(state, table, {MOSKVID_SWRESAMPLE_ENTRY_POINTS(MOSKVID_SLOT)});
    }
  }
  return false;
}

#undef MOSKVID_SLOT

void ClearTable(MediaLibrary library) {
  switch (library) {
    case MediaLibrary::kCodec:
      gAvCodec = {};
      break;
    case MediaLibrary::kFilter:
      gAvFilter = {};
      break;
    case MediaLibrary::kFormat:
      gAvFormat = {};
      break;
    case MediaLibrary::kUtil:
      gAvUtil = {};
      break;
    case MediaLibrary::kScale:
      gSwScale = {};
      break;
    case MediaLibrary::kResample:
      gSwResample = {};
      break;
  }
}

bool LoadOne(MediaLibrary library, const std::string& directory, bool versionedNames) {
  LibraryState& state = State(library);
  state.versionedNames = versionedNames;
  state.fileName = BuildFileName(state, versionedNames);
  bool ok = true;
  if (!state.handle) {
    state.handle = LoadLibraryFrom(directory, state.fileName);
    if (!state.handle) {
      char text[1024];
      std::snprintf(text, sizeof text, "Load libraray %s error: %s", state.fileName.c_str(),
                    SystemErrorText().c_str());
      state.error = text;
      ok = false;
    }
  }
  if (ok && !state.resolved) {
    ok = Resolve(library, state);
    state.resolved = ok;
  }
  if (!ok) gLoadError = state.error;
  return ok;
}

void UnloadOne(MediaLibrary library) {
  LibraryState& state = State(library);
  if (state.handle) dlclose(state.handle);
  state.handle = nullptr;
  state.resolved = false;
  ClearTable(library);
}

constexpr std::array<MediaLibrary, kMediaLibraryCount> kLoadOrder = {
    MediaLibrary::kCodec, MediaLibrary::kFilter, MediaLibrary::kFormat,
    MediaLibrary::kUtil,  MediaLibrary::kScale,  MediaLibrary::kResample};

// With gLoadLock held.
void UnloadAll() {
  gAllLoaded = false;
  for (MediaLibrary library : kLoadOrder)
    UnloadOne(library);
}

}  // namespace

std::string DefaultLibraryFolder() {
  const std::string beside = ExecutableFolder() + "LibAV";
  std::error_code error;
  return std::filesystem::is_directory(beside, error) ? beside : std::string();
}

bool LoadMediaLibraries(const std::string& directory, bool versionedNames) {
  std::lock_guard<std::mutex> guard(gLoadLock);
  if (gAllLoaded) return true;
  gLoadError.clear();
  bool ok = true;
  for (MediaLibrary library : kLoadOrder) {
    if (!LoadOne(library, directory, versionedNames)) {
      ok = false;
      break;
    }
  }
  gAllLoaded = ok;
  if (ok) {
    gSavedLogLevel = gAvUtil.av_log_get_level();
  } else {
    UnloadAll();
  }
  return gAllLoaded;
}

void UnloadMediaLibraries() {
  std::lock_guard<std::mutex> guard(gLoadLock);
  UnloadAll();
}

bool MediaLibrariesLoaded() {
  return gAllLoaded;
}
std::string MediaLoadError() {
  std::lock_guard<std::mutex> guard(gLoadLock);
  return gLoadError;
}

bool CodecLibraryReady() {
  return State(MediaLibrary::kCodec).resolved;
}
bool FilterLibraryReady() {
  return State(MediaLibrary::kFilter).resolved;
}
bool FormatLibraryReady() {
  return State(MediaLibrary::kFormat).resolved;
}
bool UtilLibraryReady() {
  return State(MediaLibrary::kUtil).resolved;
}
bool ScaleLibraryReady() {
  return State(MediaLibrary::kScale).resolved;
}
bool ResampleLibraryReady() {
  return State(MediaLibrary::kResample).resolved;
}

std::string MediaLibraryFileName(MediaLibrary library, bool versionedNames) {
  return BuildFileName(State(library), versionedNames);
}

std::string MediaLibraryLoadedPath(MediaLibrary library) {
  const LibraryState& state = State(library);
  if (!state.resolved) return {};
  // Any bound entry point tells the file the loader really used.
  void* probe = nullptr;
  switch (library) {
    case MediaLibrary::kCodec:
      probe = reinterpret_cast<void*>(gAvCodec.avcodec_version);
      break;
    case MediaLibrary::kFilter:
      probe = reinterpret_cast<void*>(gAvFilter.avfilter_version);
      break;
    case MediaLibrary::kFormat:
      probe = reinterpret_cast<void*>(gAvFormat.avformat_version);
      break;
    case MediaLibrary::kUtil:
      probe = reinterpret_cast<void*>(gAvUtil.avutil_version);
      break;
    case MediaLibrary::kScale:
      probe = reinterpret_cast<void*>(gSwScale.swscale_version);
      break;
    case MediaLibrary::kResample:
      probe = reinterpret_cast<void*>(gSwResample.swresample_version);
      break;
  }
  Dl_info info{};
  if (probe && dladdr(probe, &info) && info.dli_fname) return info.dli_fname;
  return state.fileName;
}

unsigned MediaLibraryVersion(MediaLibrary library) {
  if (!State(library).resolved) return 0;
  switch (library) {
    case MediaLibrary::kCodec:
      return gAvCodec.avcodec_version();
    case MediaLibrary::kFilter:
      return gAvFilter.avfilter_version();
    case MediaLibrary::kFormat:
      return gAvFormat.avformat_version();
    case MediaLibrary::kUtil:
      return gAvUtil.avutil_version();
    case MediaLibrary::kScale:
      return gSwScale.swscale_version();
    case MediaLibrary::kResample:
      return gSwResample.swresample_version();
  }
  return 0;
}

int SavedLogLevel() {
  return gSavedLogLevel;
}
void SetSavedLogLevel(int level) {
  gSavedLogLevel = level;
}

}  // namespace moskvid::binding
