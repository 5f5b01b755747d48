// TPartFile: an output file written under its part name beside the final
// one ("NAME_(new).mp4.part") and given a final name only once its run has
// ended. The part is created exclusively and never through a link, so that
// a name planted in a shared folder cannot make a conversion write over a
// file of someone else's; the final name is taken without replacing
// anything that appeared there meanwhile. From Create until Publish, Remove
// or destruction its names are reserved within the process, so that tasks
// aiming at the same name neither take each other's names nor report a
// part still being written as left by a conversion that did not end.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "binding/entry_points.h"

namespace moskvid {

class TPartFile {
 public:
  // `output` is the name the conversion aims at; nothing is created yet.
  explicit TPartFile(const std::string& output) : wanted_(output), output_(output) {}
  ~TPartFile();  // closes the descriptor, frees its names; the file stays
  TPartFile(const TPartFile&) = delete;
  TPartFile& operator=(const TPartFile&) = delete;

  // Whether the folder of the output exists and may be written; the reason
  // (the system's text) when not.
  bool FolderWritable(std::string& reason) const;
  // Creates the part of the output; when the output or its part is taken,
  // the part of the first numbered name whose both are free. Names another
  // live part holds are passed over; parts in the way (left by conversions
  // that did not end) are listed in `inTheWay`. False with the system's
  // reason.
  bool Create(std::vector<std::string>& inTheWay, std::string& reason);
  bool Created() const { return descriptor_ >= 0; }
  // Writes to the part; owned by this object.
  AVIOContext* Io() const { return io_; }
  const std::string& Wanted() const { return wanted_; }
  // The name aimed at once the part is created: the wanted one or a numbered one.
  const std::string& Output() const { return output_; }
  const std::string& Part() const { return part_; }

  // Flushes what is buffered to the disk and closes the part. The system's
  // reason when a write, the flush, fsync or close failed (then the part may
  // lack what was written last), else "".
  std::string Close();
  // Gives the closed part the output's name, or the name that says its run
  // failed, or when that is taken (or held by another live part) the first
  // free numbered one; never replaces a file. The name it got, or "" with
  // the system's reason.
  std::string Publish(bool failed, std::string& reason);
  // Deletes the closed part.
  void Remove();

 private:
  void FreeNames();

  const std::string wanted_;
  // Its keys in the process's registry of reserved names (part_file.cpp).
  std::vector<std::string> reserved_;
  std::string output_;
  std::string part_;
  int descriptor_ = -1;
  AVIOContext* io_ = nullptr;
};

}  // namespace moskvid
