// Fits a requested label size to the tapes that tape models print on.
#ifndef VTPAPERTOOL_FRONT_TAPE_H_
#define VTPAPERTOOL_FRONT_TAPE_H_

#include <cstdint>

#include "front/request.h"

struct TapeRow {
  int32_t nominal_mm;      // the largest requested width this tape takes
  int32_t printable_mm;    // the widest label it prints
  int32_t printable_dots;  // at 360 dpi; measured per tape, not derived from printable_mm
  const char* media_name;  // always 10 characters
};

// A label name containing "HS" or "hs" (exactly these cases) means heat-shrink tube.
bool marks_heat_shrink(const FormatRequest& request);

// Fits afresh, forgetting any earlier fit: picks the first tape whose nominal width takes
// width_mm, trims width_mm to its printable width (recording the media name only when it
// trims) and records its dots. Returns false only for a standard-tape width beyond the
// widest tape; a heat-shrink width beyond the widest tube is accepted as it stands, with
// no media name and 0 dots.
bool fit_tape_width(FormatRequest& request);

// Holds length_mm between 4 and 1000 mm, or 500 mm for heat-shrink tube.
void limit_tape_length(FormatRequest& request);

#endif  // VTPAPERTOOL_FRONT_TAPE_H_
