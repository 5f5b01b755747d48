#include "component/scratch_folder.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace moskvid {

TScratchFolder::~TScratchFolder() {
  Remove();
}

void TScratchFolder::Remove() {
  if (path_.empty()) return;
  std::error_code error;
  std::filesystem::remove_all(path_, error);
  path_.clear();
}

bool TScratchFolder::Make(std::string& reason) {
  std::error_code error;
  std::filesystem::path base = std::filesystem::temp_directory_path(error);
  if (error) base = "/tmp";
  std::string pattern = (base / "moskvid-XXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!::mkdtemp(name.data())) {
    reason = std::strerror(errno);
    return false;
  }
  path_ = name.data();
  return true;
}

}  // namespace moskvid
