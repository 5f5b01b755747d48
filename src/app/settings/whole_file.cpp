#include "app/settings/whole_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace moskvid {

bool WriteFileWhole(const std::string& path, const std::string& text, std::string& reason) {
  const std::string temporary = path + ".new";
  const int descriptor =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (descriptor < 0) {
    reason = std::strerror(errno);
    return false;
  }
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(descriptor, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) break;
    done += static_cast<size_t>(written);
  }
  const bool whole = done == text.size() && ::fsync(descriptor) == 0;
  const int error = errno;
  ::close(descriptor);
  if (!whole || std::rename(temporary.c_str(), path.c_str()) != 0) {
    reason = std::strerror(whole ? errno : error);
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace moskvid
