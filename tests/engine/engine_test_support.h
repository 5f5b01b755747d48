// A loaded-libraries fixture for engine tests, with the engine's log captured.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/custom_ffmpeg.h"
#include "support/test_support.h"

namespace moskvid::test {

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadLibrariesOrDie();
    engine.ResetOptions();
    engine.LogHandler = [this](TCustomFFmpeg&, int level, const std::string& line) {
      logLines.push_back(line);
      logLevels.push_back(level);
    };
  }

  // The message of the FFMpegException that `action` raises, or "" when none.
  template <typename Action>
  static std::string ErrorOf(Action action) {
    try {
      action();
    } catch (const FFMpegException& error) {
      return error.what();
    }
    return "";
  }

  bool Logged(const std::string& text) const {
    for (const std::string& line : logLines) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }

  TCustomFFmpeg engine;
  std::vector<std::string> logLines;
  std::vector<int> logLevels;
};

}  // namespace moskvid::test
