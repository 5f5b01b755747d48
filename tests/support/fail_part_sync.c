/* Test shim, preloaded: fsync or close (MOSKVID_TEST_FAIL names which)
 * fails with EIO on a descriptor written to a ".part" file, as on a disk
 * that lost its last blocks. close still releases the descriptor. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int FailsOn(const char* call, int fd) {
  const char* which = getenv("MOSKVID_TEST_FAIL");
  if (!which || strcmp(which, call) != 0) return 0;
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY) return 0;
  char link[64], path[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t size = readlink(link, path, sizeof path - 1);
  return size > 5 && memcmp(path + size - 5, ".part", 5) == 0;
}

int fsync(int fd) {
  static int (*real)(int);
  if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
  if (FailsOn("fsync", fd)) {
    errno = EIO;
    return -1;
  }
  return real(fd);
}

int close(int fd) {
  static int (*real)(int);
  if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "close");
  const int fails = FailsOn("close", fd);
  const int result = real(fd);
  if (!fails) return result;
  errno = EIO;
  return -1;
}
