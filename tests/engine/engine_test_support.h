// A loaded-libraries fixture for engine tests, with the engine's log captured.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
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

  // Opens `input` and creates `output` with option lines for each side, then
  // runs the conversion. False when opening failed (ErrorText tells why).
  bool Convert(const std::string& input, const std::vector<std::string>& inputOptions,
               const std::string& output, const std::vector<std::string>& outputOptions) {
    for (const std::string& line : inputOptions)
      engine.ApplyOptionText(line);
    if (!engine.OpenInputFile(input)) return false;
    for (const std::string& line : outputOptions)
      engine.ApplyOptionText(line);
    if (!engine.OpenOutputFile(output)) return false;
    engine.TranscodeRun();
    return true;
  }

  // Runs a conversion that must finish.
  void ConvertOrFail(const std::string& input, const std::vector<std::string>& inputOptions,
                     const std::string& output, const std::vector<std::string>& outputOptions) {
    ASSERT_TRUE(Convert(input, inputOptions, output, outputOptions)) << engine.ErrorText;
    ASSERT_FALSE(engine.HasException) << engine.ExceptionMessage;
    ASSERT_TRUE(engine.Finished);
  }

  // A transport stream made of two one-second pieces from the ffmpeg tool's
  // generated sources (`first` and `second` are "-f lavfi -i ..." input and
  // codec arguments); the second piece follows the first in time, so that
  // whatever differs between them changes in mid-stream.
  std::string JoinedStream(const std::string& first, const std::string& second) {
    const std::string a = scratch.File("first.ts"), b = scratch.File("second.ts");
    const std::string joined = scratch.File("joined.ts");
    RunCommand("ffmpeg -v error -y " + first + " " + Quote(a));
    RunCommand("ffmpeg -v error -y " + second + " -output_ts_offset 1 " + Quote(b));
    RunCommand("cat " + Quote(a) + " " + Quote(b) + " > " + Quote(joined));
    return joined;
  }

  TCustomFFmpeg engine;
  std::vector<std::string> logLines;
  std::vector<int> logLevels;
  ScratchDir scratch;
};

}  // namespace moskvid::test
