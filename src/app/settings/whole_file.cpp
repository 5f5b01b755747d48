#include "app/settings/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace moskvid {

namespace {

std::string Reason(int error) {
  return std::generic_category().message(error);
}

// The file a link at `path` leads to; `path` itself when it is no link or
// leads nowhere.
std::string Target(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string target(resolved);
  std::free(resolved);
  return target;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A temporary name beside `target` made new: never a name another writer of
// the same file (in this process or another) holds, never through a link
// left at it. -1 with errno set when none could be made.
int CreateTemporary(const std::string& target, mode_t mode, std::string& temporary) {
  static std::atomic<unsigned> counter{0};
  const std::string folder = FolderOf(target);
  std::string name = target.substr(folder.size());
  // Room for the suffix within a file name's 255 bytes.
  if (name.size() > 200) name.resize(200);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = folder + name + ".new-" + std::to_string(::getpid()) + "-" +
                std::to_string(counter.fetch_add(1));
    const int descriptor =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (descriptor >= 0 || errno != EEXIST) return descriptor;
  }
  return -1;
}

}  // namespace

bool WriteFileWhole(const std::string& path, const std::string& text, std::string& reason,
                    mode_t newMode) {
  const std::string target = Target(path);
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
  // A file made read-only stays as it is, as it did when it was written in place.
  if (exists && ::access(target.c_str(), W_OK) != 0) {
    reason = Reason(errno);
    return false;
  }
  std::string temporary;
  const int descriptor = CreateTemporary(target, newMode, temporary);
  if (descriptor < 0) {
    reason = Reason(errno);
    return false;
  }
  int error = 0;
  if (exists && ::fchmod(descriptor, existing.st_mode & 07777) != 0) error = errno;
  for (size_t done = 0; error == 0 && done < text.size();) {
    const ssize_t written = ::write(descriptor, text.data() + done, text.size() - done);
    if (written > 0)
      done += static_cast<size_t>(written);
    else if (written == 0)
      error = ENOSPC;
    else if (errno != EINTR)
      error = errno;
  }
  if (error == 0 && ::fsync(descriptor) != 0) error = errno;
  // A failed close can be a write the disk did not take (NFS says so only
  // there); the descriptor is gone either way, and EINTR loses nothing
  // after the fsync.
  if (::close(descriptor) != 0 && error == 0 && errno != EINTR) error = errno;
  if (error == 0 && std::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    reason = Reason(error);
    return false;
  }
  // So that the rename survives a crash too. Its failure is not the write's:
  // the new file stands whole and there is no old one left to keep.
  const std::string folder = FolderOf(target);
  const int folderDescriptor =
      ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderDescriptor >= 0) {
    ::fsync(folderDescriptor);
    ::close(folderDescriptor);
  }
  return true;
}

}  // namespace moskvid
