#include "component/log_capture.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

#include "binding/entry_points.h"
#include "binding/media_loader.h"
#include "component/cc_av_converter.h"
#include "component/ffmpeg_task.h"
#include "engine/custom_ffmpeg.h"

namespace moskvid {

namespace {

constexpr size_t kLineBuffer = 2048;

// The registry lock is always taken before a component's own lock. It is
// re-entrant so that a log handler that itself logs cannot lock itself out.
struct Registry {
  std::recursive_mutex lock;
  std::vector<TCustomFFmpegVCL*> components;  // guarded by lock
  // The log list: per thread, the start of a line still waiting for its end.
  std::vector<std::pair<uint32_t, std::string>> pending;  // guarded by lock
};

Registry& TheRegistry() {
  static auto* registry = new Registry();
  return *registry;
}

std::string& PendingFor(Registry& registry, uint32_t threadId) {
  for (auto& [id, text] : registry.pending) {
    if (id == threadId) return text;
  }
  registry.pending.emplace_back(threadId, std::string());
  return registry.pending.back().second;
}

// The task engine a line belongs to when its context tells: a codec context
// of a task, or a copy of one that the codec's own threads log through. Only
// a context whose class record is the codec context's is read any further.
const TCustomFFmpeg* EngineOfContext(void* context) {
  if (!context) return nullptr;
  const AVClass* avClass = *static_cast<const AVClass* const*>(context);
  if (!avClass || avClass != ff::avcodec_get_class()) return nullptr;
  return TCustomFFmpeg::OwnerOfCodec(static_cast<const AVCodecContext*>(context));
}

}  // namespace

void RegisterComponent(TCustomFFmpegVCL* component) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.lock);
  registry.components.push_back(component);
}

void UnregisterComponent(TCustomFFmpegVCL* component) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.lock);
  auto& list = registry.components;
  list.erase(std::remove(list.begin(), list.end(), component), list.end());
}

void ClearPendingLogLines() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.lock);
  registry.pending.clear();
}

void InstallLogCapture() {
  ff::av_log_set_callback(&CaptureLibraryLog);
}

void SetLibraryLogLevel(int componentLevel) {
  if (!binding::MediaLibrariesLoaded()) return;
  ff::av_log_set_level(LibraryLogLevelFor(componentLevel - 1));
  binding::SetSavedLogLevel(ff::av_log_get_level());
}

void CaptureLibraryLog(void* context, int level, const char* format, va_list arguments) {
  if (binding::SavedLogLevel() < level) return;
  Registry& registry = TheRegistry();
  std::unique_lock<std::recursive_mutex> lock(registry.lock);
  const uint32_t threadId = CurrentThreadId();
  std::string& pending = PendingFor(registry, threadId);

  char buffer[kLineBuffer] = {};
  size_t used = 0;
  if (context && pending.empty()) {
    const AVClass* avClass = *static_cast<const AVClass* const*>(context);
    const char* name = avClass && avClass->item_name ? avClass->item_name(context) : "?";
    std::snprintf(buffer, sizeof buffer, "[%s @ %08" PRIXPTR "]", name ? name : "?",
                  reinterpret_cast<uintptr_t>(avClass));
  } else if (!pending.empty()) {
    std::snprintf(buffer, sizeof buffer, "%s", pending.c_str());
  }
  used = std::char_traits<char>::length(buffer);
  if (used < sizeof buffer - 1) {
    va_list copy;
    va_copy(copy, arguments);
    std::vsnprintf(buffer + used, sizeof buffer - used, format, copy);
    va_end(copy);
  }

  std::string text(buffer);
  // A line that fills the buffer is cut there and ends, so that it cannot
  // hold back everything the thread logs after it.
  if (text.size() >= kLineBuffer - 1 && text.find('\n') == std::string::npos) text += '\n';
  std::vector<std::string> lines;
  for (size_t feed = text.find('\n'); feed != std::string::npos; feed = text.find('\n')) {
    lines.push_back(text.substr(0, feed));
    text.erase(0, feed + 1);
  }
  pending = text;
  if (pending.empty()) {
    // Every task's worker is a new thread: a finished line leaves no entry.
    auto& list = registry.pending;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [threadId](const auto& entry) { return entry.first == threadId; }),
               list.end());
  }
  if (lines.empty()) return;
  const TCustomFFmpeg* engine = EngineOfContext(context);
  const int engineLevel = EngineLevelForLibraryLevel(level);
  const std::vector<TCustomFFmpegVCL*> components = registry.components;
  for (const std::string& line : lines) {
    for (TCustomFFmpegVCL* component : components) {
      component->DeliverLibraryLine(threadId, engine, engineLevel, line);
    }
  }
}

}  // namespace moskvid
