// Frame hook modules: external shared objects that change each decoded
// picture in place, chained per task in the order they were added.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "binding/frame_hook_api.h"

namespace moskvid {

struct FrameHook {
  FrameHook* Next = nullptr;
  MoskvidHookConfigure Configure = nullptr;
  MoskvidHookProcess Process = nullptr;
  MoskvidHookRelease Release = nullptr;
  void* ModuleContext = nullptr;
};

// Status codes of AddFrameHook.
inline constexpr int kHookOk = 0;
inline constexpr int kHookMissingEntry = -2;
inline constexpr int kHookNoMemory = -12;
inline constexpr int kHookConfigureFailed = -22;
inline constexpr int kHookNotLoadable = -1;

// Splits a "vhook" value into argv: at "|" when it holds one, else at blanks;
// at most 64 entries (the module name and 63 arguments).
std::vector<std::string> FrameHookArguments(const std::string& value);

// Loads (or reuses) the module argv[0], configures it with the arguments and
// appends it to the chain. Returns one of the status codes above.
int AddFrameHook(FrameHook*& chain, const std::vector<std::string>& argv);
void ProcessFrameHooks(FrameHook* chain, MoskvidHookPicture* picture, int pixelFormat, int width,
                       int height, int64_t pts);
// Calls each "Release" in chain order and frees the records; the chain
// becomes empty. Modules stay loaded.
void ReleaseFrameHooks(FrameHook*& chain);

// How many distinct module files the process has loaded.
int FrameHookModuleCount();

}  // namespace moskvid
