#include "binding/frame_hook.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
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

// Module cache: file name -> handle. Modules stay loaded until the process
// ends. Guarded by gModuleLock.
std::mutex gModuleLock;
std::map<std::string, void*>& ModuleCache() {
  static auto* cache = new std::map<std::string, void*>();
  return *cache;
}

// Makes the module's folder current for the duration of a load.
class FolderScope {
 public:
  explicit FolderScope(const std::string& fileName) {
    const std::string folder = std::filesystem::path(fileName).parent_path().string();
    if (folder.empty()) return;
    std::error_code error;
    previous_ = std::filesystem::current_path(error);
    if (error || ::chdir(folder.c_str()) != 0) {
      previous_.clear();
      return;
    }
    const char* path = std::getenv("PATH");
    std::string value = path ? path : "";
    std::string upperValue = value, upperFolder = folder;
    for (char& c : upperValue)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (char& c : upperFolder)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upperValue.find(upperFolder) == std::string::npos) {
      std::string updated = value.empty() ? folder : folder + ":" + value;
      ::setenv("PATH", updated.c_str(), 1);
    }
  }
  ~FolderScope() {
    if (!previous_.empty() && ::chdir(previous_.c_str()) != 0) {
      // The previous folder is gone; stay where we are.
    }
  }
  FolderScope(const FolderScope&) = delete;
  FolderScope& operator=(const FolderScope&) = delete;

 private:
  std::filesystem::path previous_;
};

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

  std::lock_guard<std::mutex> lock(gModuleLock);
  FolderScope folder(fileName);
  auto& cache = ModuleCache();
  void* module = nullptr;
  if (auto found = cache.find(fileName); found != cache.end()) {
    module = found->second;
  } else {
    // A bare name would make dlopen search the library path; a hook module
    // is always a file, so it is loaded by its path.
    const std::string path = HookModulePath(fileName);
    module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
      const char* text = dlerror();
      HookLog("%s\n", text ? text : "cannot load module");
      return kHookNotLoadable;
    }
    cache.emplace(fileName, module);
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
