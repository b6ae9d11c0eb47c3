#include "support/seam_unit.h"

#include "store/seam.h"

UnitSeam unit_seam;

std::string vantrel_root() { return "/nonexistent"; }

ClockReading read_clock() { return {7, 123456}; }

int64_t lock_patience_ms() { return 0; }

size_t line_block_size() { return unit_seam.block; }

void write_system_log(const std::string&, int, const std::string&) {}

int injected_fault(const char* call, const std::string&) {
  return unit_seam.failing_call == call ? unit_seam.failing_error : 0;
}
