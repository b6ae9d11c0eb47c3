#include "store/lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>

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

Fault lock_directory(const std::string& directory, int64_t patience_ms, Descriptor& lock) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(patience_ms);
  for (;;) {
    lock = Descriptor(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (lock.fd < 0 || lock_until(lock.fd, deadline) != 0) {
      const Fault fault = fault_from_errno(directory);
      lock = Descriptor();
      return fault;
    }
    if (still_named(lock.fd, directory)) return {};
  }
}
