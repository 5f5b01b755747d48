#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "binding/entry_points.h"
#include "binding/media_loader.h"

namespace moskvid::fuzz {

void LoadLibrariesOnce() {
  static const bool loaded = [] {
    if (!binding::LoadMediaLibraries("", true)) {
      std::fprintf(stderr, "cannot load the media libraries: %s\n",
                   binding::MediaLoadError().c_str());
      std::abort();
    }
    ff::av_log_set_level(AV_LOG_QUIET);
    return true;
  }();
  (void)loaded;
}

RamFile::RamFile(const std::string& stem) {
  // /dev/shm keeps the per-input writes off the disk; /tmp where it is missing.
  const char* folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  path_ = std::string(folder) + "/moskvid-fuzz-" + stem + "-" + std::to_string(::getpid());
}

RamFile::~RamFile() {
  ::unlink(path_.c_str());
}

void RamFile::Write(const uint8_t* data, size_t size) const {
  std::ofstream file(path_, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!file) Fail("cannot write " + path_);
}

std::string_view TakeField(std::string_view& rest, char separator) {
  const size_t at = rest.find(separator);
  const std::string_view field = rest.substr(0, at);
  rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + 1);
  return field;
}

void Fail(const std::string& what) {
  // Fuzzed names hold any byte: control bytes are shown escaped.
  std::string shown;
  for (const unsigned char c : what) {
    if (c >= 0x20 && c < 0x7f) {
      shown += static_cast<char>(c);
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      shown += escaped;
    }
  }
  std::fprintf(stderr, "fuzz check failed: %s\n", shown.c_str());
  std::abort();
}

}  // namespace moskvid::fuzz
