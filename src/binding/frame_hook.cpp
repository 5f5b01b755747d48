#include "binding/frame_hook.h"

#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

#include "binding/entry_points.h"
#include "binding/install_paths.h"
#include "binding/my_utils.h"

namespace moskvid {

namespace {

constexpr size_t kMaxHookArgs = 64;

// Module cache: absolute module path -> handle. Modules stay loaded until the process
// ends. Guarded by gModuleLock.
std::mutex gModuleLock;
std::map<std::string, void*>& ModuleCache() {
  static auto* cache = new std::map<std::string, void*>();
  return *cache;
}

// The module's file as an absolute, normalised path, made from the current
// folder once: it is both what is loaded and the cache key, so the same file
// named two ways is one module. The process's current folder and PATH are
// left alone since other tasks may be running; a module that needs companion
// libraries finds them through its own run path ($ORIGIN).
std::string ModulePath(const std::string& fileName) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(fileName, error);
  if (error) return fileName;
  return path.lexically_normal().string();
}

void HookLog(const char* format, const char* argument) {
  ff::av_log(nullptr, 0, format, argument);
}

}  // namespace

std::vector<std::string> FrameHookArguments(const std::string& value) {
  const char* separators = value.find('|') != std::string::npos ? "|" : " ";
  std::vector<std::string> argv;
  std::string rest = value;
  size_t at = 0;
  while (argv.size() < kMaxHookArgs) {
    at = rest.find_first_not_of(separators, at);
    if (at == std::string::npos) break;
    size_t end = rest.find_first_of(separators, at);
    argv.push_back(rest.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos) break;
    at = end;
  }
  return argv;
}

int AddFrameHook(FrameHook*& chain, const std::vector<std::string>& argv) {
  if (argv.empty()) return kHookMissingEntry;
  const std::string& fileName = argv[0];

  // A hook module is always a file: a bare name is looked for in the hook
  // folders, and the absolute path keeps dlopen from searching the library
  // path and names the module once in the cache.
  const std::string path = ModulePath(HookModulePath(fileName));
  std::lock_guard<std::mutex> lock(gModuleLock);
  auto& cache = ModuleCache();
  void* module = nullptr;
  if (auto found = cache.find(path); found != cache.end()) {
    module = found->second;
  } else {
    module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
      const char* text = dlerror();
      HookLog("%s\n", text ? text : "cannot load module");
      return kHookNotLoadable;
    }
    cache.emplace(path, module);
  }

  auto* hook = new (std::nothrow) FrameHook();
  if (!hook) return kHookNoMemory;
  hook->Configure = reinterpret_cast<MoskvidHookConfigure>(dlsym(module, "Configure"));
  hook->Process = reinterpret_cast<MoskvidHookProcess>(dlsym(module, "Process"));
  hook->Release = reinterpret_cast<MoskvidHookRelease>(dlsym(module, "Release"));

  if (!hook->Process) {
    HookLog("Failed to find Process entrypoint in %s\n", fileName.c_str());
    delete hook;
    return kHookMissingEntry;
  }
  if (!hook->Configure && argv.size() > 1) {
    HookLog("Failed to find Configure entrypoint in %s\n", fileName.c_str());
    delete hook;
    return kHookMissingEntry;
  }
  if (hook->Configure) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv)
      args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const int argc = static_cast<int>(argv.size());
    if (hook->Configure(&hook->ModuleContext, argc, args.data(), argc - 1) != 0) {
      HookLog("Failed to Configure %s\n", fileName.c_str());
      delete hook;
      return kHookConfigureFailed;
    }
  }

  FrameHook** tail = &chain;
  while (*tail)
    tail = &(*tail)->Next;
  *tail = hook;
  return kHookOk;
}

void ProcessFrameHooks(FrameHook* chain, MoskvidHookPicture* picture, int pixelFormat, int width,
                       int height, int64_t pts) {
  for (FrameHook* hook = chain; hook; hook = hook->Next) {
    hook->Process(hook->ModuleContext, picture, pixelFormat, width, height, pts);
  }
}

void ReleaseFrameHooks(FrameHook*& chain) {
  while (chain) {
    FrameHook* hook = chain;
    chain = hook->Next;
    if (hook->Release) hook->Release(hook->ModuleContext);
    delete hook;
  }
}

int FrameHookModuleCount() {
  std::lock_guard<std::mutex> lock(gModuleLock);
  return static_cast<int>(ModuleCache().size());
}

}  // namespace moskvid
