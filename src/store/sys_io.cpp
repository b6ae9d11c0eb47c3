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

template <typename Call>
auto retry_interrupted(Call call) -> decltype(call()) {
  for (;;) {
    auto result = fault_instead_of_call() ? -1 : call();
    if (result != -1 || errno != EINTR) return result;
  }
}

}  // namespace

int io_open(const char* path, int flags, mode_t mode) {
  return retry_interrupted([&] { return ::open(path, flags, mode); });
}

ssize_t io_read(int fd, void* data, size_t size) {
  return retry_interrupted([&] { return ::read(fd, data, size); });
}

ssize_t io_write(int fd, const void* data, size_t size) {
  return retry_interrupted([&] { return ::write(fd, data, size); });
}

int io_fsync(int fd) {
  return retry_interrupted([&] { return ::fsync(fd); });
}

int io_fchmod(int fd, mode_t mode) {
  return retry_interrupted([&] { return ::fchmod(fd, mode); });
}

int io_rename(const char* from, const char* to) {
  return retry_interrupted([&] { return std::rename(from, to); });
}

int io_unlink(const char* path) {
  return retry_interrupted([&] { return ::unlink(path); });
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
