#include "store/sys_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "store/seam.h"

namespace {

std::string failed_subject;

// A fault stands in for the call it replaces; the call is not made.
bool fault_instead_of_call(const char* call, const std::string& subject) {
  const int fault = injected_fault(call, subject);
  if (fault == 0) return false;
  errno = fault;
  return true;
}

// A call interrupted by a signal was not refused; it is made again.
bool interrupted(long result) { return result == -1 && errno == EINTR; }

template <typename Result>
Result noted(Result result, const std::string& subject) {
  if (result == -1) failed_subject = subject;
  return result;
}

}  // namespace

int io_open(const std::string& path, int flags, mode_t mode) {
  int fd = -1;
  do {
    fd = fault_instead_of_call("open", path) ? -1 : ::open(path.c_str(), flags, mode);
  } while (interrupted(fd));
  return noted(fd, path);
}

ssize_t io_read(int fd, void* data, size_t size, const std::string& subject) {
  ssize_t got = -1;
  do {
    got = fault_instead_of_call("read", subject) ? -1 : ::read(fd, data, size);
  } while (interrupted(got));
  return noted(got, subject);
}

ssize_t io_write(int fd, const void* data, size_t size, const std::string& subject) {
  ssize_t written = -1;
  do {
    written = fault_instead_of_call("write", subject) ? -1 : ::write(fd, data, size);
  } while (interrupted(written));
  return noted(written, subject);
}

int io_fsync(int fd, const std::string& subject) {
  int result = -1;
  do {
    result = fault_instead_of_call("fsync", subject) ? -1 : ::fsync(fd);
  } while (interrupted(result));
  return noted(result, subject);
}

int io_fchmod(int fd, mode_t mode, const std::string& subject) {
  int result = -1;
  do {
    result = fault_instead_of_call("fchmod", subject) ? -1 : ::fchmod(fd, mode);
  } while (interrupted(result));
  return noted(result, subject);
}

int io_fchown(int fd, uid_t owner, gid_t group, const std::string& subject) {
  int result = -1;
  do {
    result = fault_instead_of_call("fchown", subject) ? -1 : ::fchown(fd, owner, group);
  } while (interrupted(result));
  return noted(result, subject);
}

ssize_t io_copy_file_range(int in, int out, size_t size, const std::string& subject) {
  ssize_t copied = -1;
  do {
    copied = fault_instead_of_call("copy", subject)
                 ? -1
                 : ::copy_file_range(in, nullptr, out, nullptr, size, 0);
  } while (interrupted(copied));
  return noted(copied, subject);
}

int io_lstat(const std::string& path, struct stat& info) {
  int result = -1;
  do {
    result = fault_instead_of_call("lstat", path) ? -1 : ::lstat(path.c_str(), &info);
  } while (interrupted(result));
  return noted(result, path);
}

int io_fstat(int fd, struct stat& info, const std::string& subject) {
  int result = -1;
  do {
    result = fault_instead_of_call("fstat", subject) ? -1 : ::fstat(fd, &info);
  } while (interrupted(result));
  return noted(result, subject);
}

int io_rename(const std::string& from, const std::string& to) {
  int result = -1;
  do {
    result = fault_instead_of_call("rename", to) ? -1 : std::rename(from.c_str(), to.c_str());
  } while (interrupted(result));
  return noted(result, to);
}

int io_unlink(const std::string& path) {
  int result = -1;
  do {
    result = fault_instead_of_call("unlink", path) ? -1 : ::unlink(path.c_str());
  } while (interrupted(result));
  return noted(result, path);
}

int io_close(int fd, const std::string& subject) {
  const int fault = injected_fault("close", subject);
  // Linux releases the descriptor even when close reports EINTR, so it is not retried.
  int result = ::close(fd) == -1 && errno != EINTR ? -1 : 0;
  if (result == 0 && fault != 0 && fault != EINTR) {
    errno = fault;
    result = -1;
  }
  return noted(result, subject);
}

int io_sync_directory(const std::string& path) {
  const int fd = io_open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  const bool synced = io_fsync(fd, path) == 0;
  const int saved = errno;
  ::close(fd);
  errno = saved;
  return synced ? 0 : -1;
}

ssize_t write_all(int fd, const char* data, size_t size, const std::string& subject) {
  size_t done = 0;
  while (done < size) {
    const ssize_t written = io_write(fd, data + done, size - done, subject);
    if (written < 0) return -1;
    if (written == 0) {
      errno = ENOSPC;
      return noted(-1, subject);
    }
    done += static_cast<size_t>(written);
  }
  return static_cast<ssize_t>(size);
}

int io_fail(int error, const std::string& subject) {
  errno = error;
  return noted(-1, subject);
}

int not_regular_error(mode_t mode) {
  if (S_ISDIR(mode)) return EISDIR;
  return S_ISLNK(mode) ? ELOOP : EINVAL;
}

const std::string& io_failed_subject() { return failed_subject; }
