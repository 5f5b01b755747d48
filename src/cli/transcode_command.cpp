// transcode: one conversion with engine option lines for the input and the
// output.
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

#include "cli/cli_common.h"
#include "engine/custom_ffmpeg.h"

namespace moskvid::cli {

namespace {

TCustomFFmpeg* gRunning = nullptr;
volatile std::sig_atomic_t gInterrupts = 0;

void OnInterrupt(int) {
  gInterrupts = gInterrupts + 1;
  if (gInterrupts > 1) _exit(130);
  if (gRunning) gRunning->StopRequested = true;
}

}  // namespace

int TranscodeCommand(const std::vector<std::string>& args) {
  std::string inputLines, outputLines, input, output;
  int threads = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if ((arg == "--in" || arg == "--out" || arg == "--threads") && i + 1 >= args.size()) {
      std::cerr << "transcode: " << arg << " needs a value\n";
      return kExitUsage;
    }
    if (arg == "--in") {
      inputLines += args[++i] + "\n";
    } else if (arg == "--out") {
      outputLines += args[++i] + "\n";
    } else if (arg == "--threads") {
      char* end = nullptr;
      threads = static_cast<int>(std::strtol(args[++i].c_str(), &end, 10));
      if (*end != '\0' || threads < 0) {
        std::cerr << "transcode: --threads takes a number of threads (0: one per core)\n";
        return kExitUsage;
      }
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      std::cerr << "transcode: unknown option '" << arg << "'\n";
      return kExitUsage;
    } else if (input.empty()) {
      input = arg;
    } else if (output.empty()) {
      output = arg;
    } else {
      std::cerr << "transcode: unexpected argument '" << arg << "'\n";
      return kExitUsage;
    }
  }
  if (input.empty() || output.empty()) {
    PrintUsage();
    return kExitUsage;
  }
  if (!LoadLibrariesForCli("", true)) return kExitFailed;

  TCustomFFmpeg engine;
  engine.LogHandler = [](TCustomFFmpeg&, int, const std::string& line) {
    std::cerr << line << "\n";
  };
  try {
    engine.ResetOptions();
    engine.ApplyOptionText(inputLines);
    if (!engine.OpenInputFile(input)) {
      std::cerr << engine.ErrorText << "\n";
      return kExitFailed;
    }
    engine.ApplyOptionText(outputLines);
    if (!engine.OpenOutputFile(output)) {
      std::cerr << engine.ErrorText << "\n";
      return kExitFailed;
    }
  } catch (const FFMpegException& error) {
    std::cerr << error.what() << "\n";
    return kExitFailed;
  }
  engine.Options.ThreadCount = threads;
  gRunning = &engine;
  std::signal(SIGINT, OnInterrupt);
  engine.TranscodeRun();
  std::signal(SIGINT, SIG_DFL);
  gRunning = nullptr;
  std::cerr << "Terminated: finished=" << (engine.Finished ? "yes" : "no")
            << " exception=" << (engine.HasException ? "yes" : "no");
  if (!engine.ExceptionMessage.empty()) std::cerr << " message=" << engine.ExceptionMessage;
  std::cerr << "\n";
  return engine.Finished && !engine.HasException ? kExitOk : kExitFailed;
}

}  // namespace moskvid::cli
