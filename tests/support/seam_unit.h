// The seam of the tests that call the store and formats code in-process: each test sets
// what the program would take from its surroundings.
#ifndef VTPAPERTOOL_TESTS_SUPPORT_SEAM_UNIT_H_
#define VTPAPERTOOL_TESTS_SUPPORT_SEAM_UNIT_H_

#include <cstddef>
#include <string>

struct UnitSeam {
  size_t block = size_t{1} << 17;  // bytes read at a time
  std::string failing_call;        // the I/O call, by name, that fails with failing_error
  int failing_error = 0;
};

extern UnitSeam unit_seam;

#endif  // VTPAPERTOOL_TESTS_SUPPORT_SEAM_UNIT_H_
