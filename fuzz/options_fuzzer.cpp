// The engine's option text and every named setter of its option table. The
// text goes through ApplyOptionText; then the value of its first line is
// handed to each named setter in turn. A refused value raises the engine's
// exception; anything else that escapes, crashes or leaks is a fault.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/custom_ffmpeg.h"
#include "fuzz_option_names.h"
#include "fuzz_support.h"

using namespace moskvid;

namespace {

// "vhook" loads the named file as a module: any file on the machine would do,
// so the fuzzer never names that option.
std::string WithoutModuleLoads(std::string text) {
  for (size_t at = text.find("vhook"); at != std::string::npos; at = text.find("vhook", at))
    text[at + 4] = '_';
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LoadLibrariesOnce();
  const std::string text =
      WithoutModuleLoads(std::string(reinterpret_cast<const char*>(data), size));
  {
    TCustomFFmpeg engine;
    try {
      engine.ApplyOptionText(text);
    } catch (const FFMpegException&) {
      // A refused option ends the text, as it does for a task.
    }
  }

  const size_t lineEnd = text.find_first_of("\r\n");
  const std::string line = text.substr(0, lineEnd);
  const size_t equals = line.find('=');
  const std::string value = equals == std::string::npos ? line : line.substr(equals + 1);
  TCustomFFmpeg engine;
  for (const char* name : fuzz::kOptionNames) {
    if (std::string(name) == "vhook") continue;
    try {
      engine.SetOption(name, value);
    } catch (const FFMpegException&) {
    }
  }
  engine.ResetOptions();
  return 0;
}
