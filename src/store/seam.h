// What the program takes from its surroundings: its install root, the clock, and a
// hook that lets the test build of the program make I/O calls fail.
#ifndef VTPAPERTOOL_STORE_SEAM_H_
#define VTPAPERTOOL_STORE_SEAM_H_

#include <cstdint>
#include <string>

struct ClockReading {
  int64_t seconds;
  int64_t microseconds;
};

// The directory under which every model's driver tree lies. The shipped program has it
// fixed at build time; only the test build reads it from the environment.
std::string vantrel_root();

// Seconds and microseconds since the epoch.
ClockReading read_clock();

// Asked before each I/O call of the data store. Returns 0 to let the call run, or the
// errno value the call must fail with instead. Always 0 in the shipped program.
int injected_fault();

#endif  // VTPAPERTOOL_STORE_SEAM_H_
