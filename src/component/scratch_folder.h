// A private folder under the temporary folder for a task's working files,
// removed with everything in it when the object goes.
#pragma once

#include <string>

namespace moskvid {

class TScratchFolder {
 public:
  TScratchFolder() = default;
  ~TScratchFolder();
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;

  // Makes the folder (mode 0700, a name no one else holds); false with the
  // system's reason.
  bool Make(std::string& reason);
  const std::string& Path() const { return path_; }
  // Removes the folder now rather than when the object goes.
  void Remove();

 private:
  std::string path_;
};

}  // namespace moskvid
