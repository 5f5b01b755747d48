#include "engine/own_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "engine/output_names.h"

namespace moskvid {

namespace {

// Numbered forms tried before the pattern is taken as it is.
constexpr int kMaxNumber = 9999;

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

std::string PictureName(const std::string& pattern, int number) {
  std::vector<char> name(pattern.size() + 32);
  if (ff::av_get_frame_filename(name.data(), static_cast<int>(name.size()), pattern.c_str(),
                                number) < 0)
    return pattern;
  return name.data();
}

}  // namespace

void TOwnFiles::Guard(AVFormatContext* context) {
  defaultOpen_ = context->io_open;
  context->opaque = this;
  context->io_open = Open;
}

std::string TOwnFiles::FreePattern(const std::string& pattern, int firstNumber) {
  for (int n = 0; n <= kMaxNumber; ++n) {
    const std::string candidate = n == 0 ? pattern : NumberedFileName(pattern, n);
    if (!Exists(PictureName(candidate, firstNumber))) return candidate;
  }
  return pattern;
}

std::string TOwnFiles::Refused() {
  std::lock_guard<std::mutex> guard(lock_);
  return refused_;
}

int TOwnFiles::Open(AVFormatContext* context, AVIOContext** io, const char* url, int flags,
                    AVDictionary** options) {
  auto* self = static_cast<TOwnFiles*>(context->opaque);
  const char* protocol = ff::avio_find_protocol_name(url);
  if ((flags & AVIO_FLAG_WRITE) && protocol && std::strcmp(protocol, "file") == 0) {
    const std::string path = std::strncmp(url, "file:", 5) == 0 ? url + 5 : url;
    std::lock_guard<std::mutex> guard(self->lock_);
    if (self->created_.count(path) == 0) {
      // Made here, exclusively: the open that follows only writes into it.
      const int descriptor =
          ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (descriptor < 0) {
        const int error = errno;
        self->refused_ = error == EEXIST || error == ELOOP
                             ? path + " is there already and is not replaced"
                             : path + ": " + std::strerror(error);
        return AVERROR(error);
      }
      ::close(descriptor);
      self->created_.insert(path);
    }
  }
  return self->defaultOpen_(context, io, url, flags, options);
}

}  // namespace moskvid
