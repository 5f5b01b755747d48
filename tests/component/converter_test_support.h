// A component with its events recorded, for the run-control tests.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "component/cc_av_converter.h"
#include "support/test_support.h"

namespace moskvid::test {

// The name the kernel has for one of this process's threads.
inline std::string ThreadName(uint32_t thread) {
  std::ifstream comm("/proc/self/task/" + std::to_string(thread) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

struct Event {
  std::string kind;  // "progress", "terminate", "log"
  int index = 0;
  bool finished = false;
  bool exception = false;
  std::string message;
  TLogLevel level = llInfo;
  uint32_t thread = 0;
};

class ConverterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(converter.LoadLibraries("", true)) << converter.LastError();
    converter.CodecThreads = 1;
    converter.OnProgress = [this](int index, int, int, int, float, float, int64_t, int) {
      Event event;
      event.kind = "progress";
      event.index = index;
      Record(event);
    };
    converter.OnTerminate = [this](int index, bool finished, bool exception,
                                   const std::string& message) {
      Event event;
      event.kind = "terminate";
      event.index = index;
      event.finished = finished;
      event.exception = exception;
      event.message = message;
      Record(event);
    };
    converter.OnLog = [this](int index, TLogLevel level, const std::string& message) {
      Event event;
      event.kind = "log";
      event.index = index;
      event.level = level;
      event.message = message;
      Record(event);
    };
  }

  void Record(Event event) {
    event.thread = CurrentThreadId();
    std::lock_guard<std::mutex> lock(mutex);
    events.push_back(event);
    changed.notify_all();
  }

  // Adds a conversion of `input` into `output` with engine option lines.
  int AddTask(const std::string& input, const std::string& output, const std::string& options) {
    const int index = converter.AddInput(input);
    EXPECT_GE(index, 0) << converter.LastError();
    TOutputOptions record;
    record.ExtOptions = options;
    EXPECT_TRUE(converter.SetOutput(index, output, &record)) << converter.LastError();
    return index;
  }

  // Waits for the end-of-run signal (OnTerminate with -1).
  bool WaitForEnd(std::chrono::seconds limit = std::chrono::seconds(120)) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, limit, [this] { return CountLocked("terminate", -1) > 0; });
  }

  bool WaitFor(const std::string& kind, int index,
               std::chrono::seconds limit = std::chrono::seconds(60)) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, limit, [&] { return CountLocked(kind, index) > 0; });
  }

  int Count(const std::string& kind, int index) {
    std::lock_guard<std::mutex> lock(mutex);
    return CountLocked(kind, index);
  }

  std::vector<Event> Terminations() {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<Event> out;
    for (const Event& e : events) {
      if (e.kind == "terminate") out.push_back(e);
    }
    return out;
  }

  int CountLocked(const std::string& kind, int index) const {
    int n = 0;
    for (const Event& e : events)
      n += e.kind == kind && e.index == index;
    return n;
  }

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Event> events;  // guarded by mutex
  ScratchDir scratch;
  TCCAVConverter converter;
};

}  // namespace moskvid::test
