// What the program takes from its surroundings: its install root, the clock, how long it
// waits for a lock, how much of a file it reads at once, and a hook that lets the test
// build of the program watch and fail I/O calls.
#ifndef VTPAPERTOOL_STORE_SEAM_H_
#define VTPAPERTOOL_STORE_SEAM_H_

#include <cstddef>
#include <cstdint>
#include <string>

struct ClockReading {
  int64_t seconds;
  int64_t microseconds;
};

// The directory under which every model's driver tree lies: VTPAPERTOOL_ROOT when set and
// not empty, else the one fixed at build time.
std::string vantrel_root();

// Seconds and microseconds since the epoch.
ClockReading read_clock();

// How long a run waits for another run's lock before it gives up: 30 s when shipped.
int64_t lock_patience_ms();

// How many bytes a data file is read in at a time: 128 KiB when shipped, which a core's
// cache holds while the block is searched. The test build takes less, so that small files
// meet every case that long lines bring.
size_t line_block_size();

// Writes one line to the system log (syslog(3), facility user) under the program's name,
// at the syslog(3) priority given. The test build sends it instead to the datagram socket
// that VTPAPERTOOL_LOG names, where that is set.
void write_system_log(const std::string& program, int priority, const std::string& line);

// Asked before each I/O call of the data store and each run of the sibling tool, with the
// call's name and its subject. Returns 0 to let the call run, or the errno value the call
// must fail with instead.
// Always 0 in the shipped program.
int injected_fault(const char* call, const std::string& subject);

#endif  // VTPAPERTOOL_STORE_SEAM_H_
