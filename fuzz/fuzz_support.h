// Helpers shared by the fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace moskvid::fuzz {

// Loads the system's media libraries once and silences their log; aborts
// when they cannot be loaded, since every input would then be wasted.
void LoadLibrariesOnce();

// A file of this process's own in a RAM folder, rewritten for each input.
class RamFile {
 public:
  explicit RamFile(const std::string& stem);
  ~RamFile();
  RamFile(const RamFile&) = delete;
  RamFile& operator=(const RamFile&) = delete;
  void Write(const uint8_t* data, size_t size) const;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Splits off the text up to the first `separator` (or all of it).
std::string_view TakeField(std::string_view& rest, char separator);

// Ends the run with a report libFuzzer records as a crash.
[[noreturn]] void Fail(const std::string& what);

}  // namespace moskvid::fuzz
