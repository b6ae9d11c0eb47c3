#include "store/lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>

#include "store/paths.h"

namespace {

using Clock = std::chrono::steady_clock;

// Often enough that a run waits little longer than it must, rarely enough to cost nothing.
constexpr long kPollNanoseconds = 10 * 1000 * 1000;

bool still_named(int fd, const std::string& path) {
  struct stat held {};
  struct stat named {};
  return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

// flock has no time limit of its own, so the wait is made of tries.
int lock_until(int fd, Clock::time_point deadline) {
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
    if (errno != EWOULDBLOCK && errno != EINTR) return -1;
    if (Clock::now() >= deadline) {
      errno = EWOULDBLOCK;
      return -1;
    }
    const timespec pause{0, kPollNanoseconds};
    ::nanosleep(&pause, nullptr);
  }
}

}  // namespace

int lock_data_directory(const std::string& model_id, int64_t patience_ms) {
  const std::string path = data_directory(model_id);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(patience_ms);
  for (;;) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    if (lock_until(fd, deadline) != 0) {
      const int cause = errno;
      ::close(fd);
      errno = cause;
      return -1;
    }
    if (still_named(fd, path)) return fd;
    ::close(fd);
  }
}

void unlock_data_directory(int lock_fd) {
  if (lock_fd >= 0) ::close(lock_fd);
}
