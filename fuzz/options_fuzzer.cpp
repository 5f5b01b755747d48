// The engine's option text and the named setters of its option table. The
// first byte of the input picks one option name of the table; the rest is
// the text. The value of the text's first line goes to that one setter, then
// the whole text goes through ApplyOptionText. One engine serves every input,
// set back to its defaults by ResetOptions before each use, as a task's
// engine is. A refused value raises the engine's exception; anything else
// that escapes, crashes or leaks is a fault.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include "binding/entry_points.h"
#include "binding/media_loader.h"
#include "engine/custom_ffmpeg.h"
#include "fuzz_option_names.h"
#include "fuzz_support.h"

using namespace moskvid;

namespace {

constexpr size_t kNameCount = std::size(fuzz::kOptionNames);

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
  static TCustomFFmpeg engine;
  if (size == 0) return 0;
  const std::string name = fuzz::kOptionNames[data[0] % kNameCount];
  const std::string text =
      WithoutModuleLoads(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  const size_t lineEnd = text.find_first_of("\r\n");
  const std::string line = text.substr(0, lineEnd);
  const size_t equals = line.find('=');
  const std::string value = equals == std::string::npos ? line : line.substr(equals + 1);

  if (name != "vhook") {
    engine.ResetOptions();
    try {
      engine.SetOption(name, value);
    } catch (const FFMpegException&) {
      // A refused value is reported to the caller, not a fault.
    }
  }
  engine.ResetOptions();
  try {
    engine.ApplyOptionText(text);
  } catch (const FFMpegException&) {
    // A refused option ends the text, as it does for a task.
  }
  engine.ResetOptions();
  // "v" and the debug flags raise the libraries' log level for the process.
  ff::av_log_set_level(AV_LOG_QUIET);
  return 0;
}
