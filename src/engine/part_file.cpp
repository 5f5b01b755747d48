#include "engine/part_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

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

// The names the live parts of this process hold: a task's part still being
// written is no leftover, and its final and failed names are not free,
// though nothing is on the disk under them yet. Checking a name and creating
// or renaming to it happen under the one lock, so two tasks cannot both
// find a name free.
std::mutex gReservedLock;
// Normalised absolute path -> the part holding it; guarded by gReservedLock.
std::map<std::string, const TPartFile*> gReserved;

std::string ReservationKey(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return (error ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

// Called with gReservedLock held.
bool HeldByAnother(const std::string& path, const TPartFile* self) {
  const auto found = gReserved.find(ReservationKey(path));
  return found != gReserved.end() && found->second != self;
}

}  // namespace

TPartFile::~TPartFile() {
  Close();
  FreeNames();
}

void TPartFile::FreeNames() {
  std::lock_guard<std::mutex> guard(gReservedLock);
  for (const std::string& key : reserved_)
    gReserved.erase(key);
  reserved_.clear();
}

bool TPartFile::FolderWritable(std::string& reason) const {
  std::string folder = std::filesystem::path(output_).parent_path().string();
  if (folder.empty()) folder = ".";
  if (::access(folder.c_str(), W_OK | X_OK) == 0) return true;
  reason = std::strerror(errno);
  return false;
}

bool TPartFile::Create(std::vector<std::string>& inTheWay, std::string& reason) {
  std::lock_guard<std::mutex> guard(gReservedLock);
  for (int n = 0; n <= kMaxNumber; ++n) {
    const std::string output = Candidate(wanted_, n);
    // A final name the file system cannot hold fails now, not after the
    // whole conversion was written under a shortened part name.
    if (n == 0 && std::filesystem::path(output).filename().string().size() > NAME_MAX) {
      reason = std::strerror(ENAMETOOLONG);
      return false;
    }
    const std::string part = PartFileName(output);
    const std::string names[] = {output, part, FailedFileName(output)};
    if (std::any_of(std::begin(names), std::end(names),
                    [this](const std::string& name) { return HeldByAnother(name, this); }))
      continue;
    struct stat info {};
    if (::lstat(output.c_str(), &info) == 0) continue;
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
    for (const std::string& name : names) {
      reserved_.push_back(ReservationKey(name));
      gReserved[reserved_.back()] = this;
    }
    return true;
  }
  reason = "no free name";
  return false;
}

std::string TPartFile::Close() {
  std::string reason;
  if (io_) {
    ff::avio_flush(io_);
    // A write that failed, during the run or in this flush, left its code.
    if (io_->error < 0) {
      char text[AV_ERROR_MAX_STRING_SIZE] = {};
      ff::av_strerror(io_->error, text, sizeof text);
      reason = text;
    }
    ff::av_freep(&io_->buffer);
    ff::avio_context_free(&io_);
  }
  if (descriptor_ >= 0) {
    // On the disk before it gets a name that says it is whole; a network or
    // full disk may say only here that the last blocks did not get there.
    if (::fsync(descriptor_) != 0 && reason.empty()) reason = std::strerror(errno);
    // After EINTR the descriptor is released all the same, and fsync has
    // put the data on the disk.
    if (::close(descriptor_) != 0 && errno != EINTR && reason.empty())
      reason = std::strerror(errno);
    descriptor_ = -1;
  }
  return reason;
}

std::string TPartFile::Publish(bool failed, std::string& reason) {
  std::string published, why = "no free name";
  {
    std::lock_guard<std::mutex> guard(gReservedLock);
    for (int n = 0; n <= kMaxNumber && published.empty(); ++n) {
      const std::string output = Candidate(output_, n);
      const std::string name = failed ? FailedFileName(output) : output;
      if (HeldByAnother(name, this)) continue;
      const int result = RenameNoReplace(part_, name);
      if (result == 0) published = name;
      if (result != 0 && result != EEXIST) {
        why = std::strerror(result);
        break;
      }
    }
  }
  FreeNames();
  if (published.empty()) reason = why;
  return published;
}

void TPartFile::Remove() {
  if (!part_.empty()) ::unlink(part_.c_str());
  FreeNames();
}

}  // namespace moskvid
