#include "engine/part_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "engine/output_names.h"

namespace moskvid {

namespace {

constexpr int kIoBufferSize = 1 << 16;
// Numbered names tried before giving up.
constexpr int kMaxNumber = 9999;

int WriteAll(void* opaque, uint8_t* data, int size) {
  const int descriptor = *static_cast<int*>(opaque);
  int done = 0;
  while (done < size) {
    const ssize_t written = ::write(descriptor, data + done, static_cast<size_t>(size - done));
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return AVERROR(errno);
    done += static_cast<int>(written);
  }
  return done;
}

int64_t Seek(void* opaque, int64_t offset, int whence) {
  const int descriptor = *static_cast<int*>(opaque);
  if (whence & AVSEEK_SIZE) {
    struct stat info {};
    return ::fstat(descriptor, &info) == 0 ? info.st_size : AVERROR(errno);
  }
  const off_t position = ::lseek(descriptor, offset, whence & ~AVSEEK_FORCE);
  return position < 0 ? AVERROR(errno) : position;
}

// Renames without replacing anything: 0, or the errno (EEXIST when the name
// is taken).
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without that flag: a new link fails on a taken name.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  if (errno == EEXIST) return EEXIST;
  // Nor links (FAT): look, then rename; only a file that appears between
  // the two could be replaced.
  struct stat info {};
  if (::lstat(to.c_str(), &info) == 0) return EEXIST;
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

std::string Candidate(const std::string& output, int n) {
  return n == 0 ? output : NumberedFileName(output, n);
}

}  // namespace

TPartFile::~TPartFile() {
  Close();
}

bool TPartFile::FolderWritable(std::string& reason) const {
  std::string folder = std::filesystem::path(output_).parent_path().string();
  if (folder.empty()) folder = ".";
  if (::access(folder.c_str(), W_OK | X_OK) == 0) return true;
  reason = std::strerror(errno);
  return false;
}

bool TPartFile::Create(std::vector<std::string>& inTheWay, std::string& reason) {
  for (int n = 0; n <= kMaxNumber; ++n) {
    const std::string output = Candidate(wanted_, n);
    struct stat info {};
    if (::lstat(output.c_str(), &info) == 0) continue;
    const std::string part = PartFileName(output);
    // Never through a link, never over anything.
    const int descriptor =
        ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (descriptor < 0 && errno == EEXIST) {
      inTheWay.push_back(part);
      continue;
    }
    if (descriptor < 0) {
      reason = std::strerror(errno);
      return false;
    }
    auto* buffer = static_cast<unsigned char*>(ff::av_malloc(kIoBufferSize));
    AVIOContext* io = buffer ? ff::avio_alloc_context(buffer, kIoBufferSize, 1, &descriptor_,
                                                      nullptr, WriteAll, Seek)
                             : nullptr;
    if (!io) {
      ff::av_free(buffer);
      ::close(descriptor);
      ::unlink(part.c_str());
      reason = std::strerror(ENOMEM);
      return false;
    }
    descriptor_ = descriptor;
    io_ = io;
    output_ = output;
    part_ = part;
    return true;
  }
  reason = "no free name";
  return false;
}

void TPartFile::Close() {
  if (io_) {
    ff::avio_flush(io_);
    ff::av_freep(&io_->buffer);
    ff::avio_context_free(&io_);
  }
  if (descriptor_ >= 0) {
    // On the disk before it gets a name that says it is whole.
    ::fsync(descriptor_);
    ::close(descriptor_);
    descriptor_ = -1;
  }
}

std::string TPartFile::Publish(bool failed, std::string& reason) {
  for (int n = 0; n <= kMaxNumber; ++n) {
    const std::string output = Candidate(output_, n);
    const std::string name = failed ? FailedFileName(output) : output;
    const int result = RenameNoReplace(part_, name);
    if (result == 0) return name;
    if (result != EEXIST) {
      reason = std::strerror(result);
      return "";
    }
  }
  reason = "no free name";
  return "";
}

void TPartFile::Remove() {
  if (!part_.empty()) ::unlink(part_.c_str());
}

}  // namespace moskvid
