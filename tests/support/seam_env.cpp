// The test build's seam: its root, its clock and its I/O faults come from the environment.
//   VTPAPERTOOL_ROOT   the driver tree's root (required)
//   VTPAPERTOOL_CLOCK  "<seconds>.<microseconds>" instead of the system clock
//   VTPAPERTOOL_FAULT  "<k>:<errno>": the k-th I/O call of the data store fails with errno
//   VTPAPERTOOL_FAULT_MET  a file created when that fault is injected
//   VTPAPERTOOL_STOP   "<k>": the k-th I/O call waits, after creating VTPAPERTOOL_FAULT_MET,
//                      until a signal ends the program
#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "store/seam.h"

namespace {

const char* environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? "" : value;
}

void record_fault_met() {
  const char* marker = environment("VTPAPERTOOL_FAULT_MET");
  if (*marker == '\0') return;
  const int fd = ::open(marker, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd >= 0) ::close(fd);
}

}  // namespace

std::string vantrel_root() { return environment("VTPAPERTOOL_ROOT"); }

ClockReading read_clock() {
  const char* fixed = environment("VTPAPERTOOL_CLOCK");
  if (*fixed != '\0') {
    char* rest = nullptr;
    const long long seconds = std::strtoll(fixed, &rest, 10);
    const long long microseconds = *rest == '.' ? std::strtoll(rest + 1, nullptr, 10) : 0;
    return {seconds, microseconds};
  }
  timeval now{};
  gettimeofday(&now, nullptr);
  return {static_cast<int64_t>(now.tv_sec), static_cast<int64_t>(now.tv_usec)};
}

int injected_fault() {
  static long calls = 0;
  ++calls;
  // Lets a test signal the program at a known point instead of guessing one with a delay.
  if (std::strtol(environment("VTPAPERTOOL_STOP"), nullptr, 10) == calls) {
    record_fault_met();
    for (;;) ::pause();
  }
  const char* fault = environment("VTPAPERTOOL_FAULT");
  if (*fault == '\0') return 0;
  char* rest = nullptr;
  const long target = std::strtol(fault, &rest, 10);
  if (calls != target || *rest != ':') return 0;
  record_fault_met();
  return std::atoi(rest + 1);
}
