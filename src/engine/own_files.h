// TOwnFiles: the files a muxer opens by itself (a picture sequence, say)
// are created new, never over a file that is there already nor through a
// link; a file it made in this run it may open again (a sequence that
// updates one picture).
#pragma once

#include <mutex>
#include <set>
#include <string>

#include "binding/entry_points.h"

namespace moskvid {

class TOwnFiles {
 public:
  // Takes over the context's file opening; the context must not outlive this.
  void Guard(AVFormatContext* context);
  // The first of the numbered forms of a sequence's pattern (the pattern
  // itself first) whose first picture's name is free.
  static std::string FreePattern(const std::string& pattern, int firstNumber);
  // Why the last file was not opened ("" when none was refused): muxers
  // tell only that they could not write.
  std::string Refused();

 private:
  static int Open(AVFormatContext* context, AVIOContext** io, const char* url, int flags,
                  AVDictionary** options);

  using OpenFunction = int (*)(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**);
  OpenFunction defaultOpen_ = nullptr;
  std::mutex lock_;
  std::set<std::string> created_;
  std::string refused_;
};

}  // namespace moskvid
