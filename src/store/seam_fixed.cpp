#include <sys/time.h>

#include "store/seam.h"

std::string vantrel_root() { return VANTREL_ROOT; }

ClockReading read_clock() {
  timeval now{};
  gettimeofday(&now, nullptr);
  return {static_cast<int64_t>(now.tv_sec), static_cast<int64_t>(now.tv_usec)};
}

int64_t lock_patience_ms() { return 30000; }

size_t line_block_size() { return size_t{1} << 17; }

int injected_fault(const char*, const std::string&) { return 0; }
