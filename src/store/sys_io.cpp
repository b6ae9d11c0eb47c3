#include "store/sys_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "store/seam.h"

namespace {

// A fault stands in for the call it replaces; the call is not made.
bool fault_instead_of_call() {
  const int fault = injected_fault();
  if (fault == 0) return false;
  errno = fault;
  return true;
}

// A call interrupted by a signal was not refused; it is made again.
bool interrupted(long result) { return result == -1 && errno == EINTR; }

}  // namespace

int io_open(const char* path, int flags, mode_t mode) {
  int fd = -1;
  do {
    fd = fault_instead_of_call() ? -1 : ::open(path, flags, mode);
  } while (interrupted(fd));
  return fd;
}

ssize_t io_read(int fd, void* data, size_t size) {
  ssize_t got = -1;
  do {
    got = fault_instead_of_call() ? -1 : ::read(fd, data, size);
  } while (interrupted(got));
  return got;
}

ssize_t io_write(int fd, const void* data, size_t size) {
  ssize_t written = -1;
  do {
    written = fault_instead_of_call() ? -1 : ::write(fd, data, size);
  } while (interrupted(written));
  return written;
}

int io_fsync(int fd) {
  int result = -1;
  do {
    result = fault_instead_of_call() ? -1 : ::fsync(fd);
  } while (interrupted(result));
  return result;
}

int io_fchmod(int fd, mode_t mode) {
  int result = -1;
  do {
    result = fault_instead_of_call() ? -1 : ::fchmod(fd, mode);
  } while (interrupted(result));
  return result;
}

int io_rename(const char* from, const char* to) {
  int result = -1;
  do {
    result = fault_instead_of_call() ? -1 : std::rename(from, to);
  } while (interrupted(result));
  return result;
}

int io_unlink(const char* path) {
  int result = -1;
  do {
    result = fault_instead_of_call() ? -1 : ::unlink(path);
  } while (interrupted(result));
  return result;
}

int io_close(int fd) {
  const int fault = injected_fault();
  // Linux releases the descriptor even when close reports EINTR, so it is not retried.
  if (::close(fd) == -1 && errno != EINTR) return -1;
  if (fault == 0 || fault == EINTR) return 0;
  errno = fault;
  return -1;
}

ssize_t write_all(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t written = io_write(fd, data + done, size - done);
    if (written < 0) return -1;
    if (written == 0) {
      errno = ENOSPC;
      return -1;
    }
    done += static_cast<size_t>(written);
  }
  return static_cast<ssize_t>(size);
}
