#include <sys/time.h>

#include "store/seam.h"

std::string vantrel_root() { return VANTREL_ROOT; }

ClockReading read_clock() {
  timeval now{};
  gettimeofday(&now, nullptr);
  return {static_cast<int64_t>(now.tv_sec), static_cast<int64_t>(now.tv_usec)};
}

int injected_fault() { return 0; }
