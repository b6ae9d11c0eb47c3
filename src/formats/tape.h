// Fits a requested label size to the tapes that tape models print on.
#ifndef VTPAPERTOOL_FORMATS_TAPE_H_
#define VTPAPERTOOL_FORMATS_TAPE_H_

#include <cstdint>
#include <string>

#include "formats/request.h"

// Whether the label name marks heat-shrink tube: it holds "HS" or "hs" (exactly these
// cases).
bool marks_heat_shrink(const FormatRequest& request);

// Fits afresh, forgetting any earlier fit: picks the first tape whose nominal width takes
// width_mm, trims width_mm to its printable width (recording the media name only when it
// trims) and records its dots. Returns false only for a standard-tape width beyond the
// widest tape; a heat-shrink width beyond the widest tube is accepted as it stands, with
// no media name and 0 dots.
bool fit_tape_width(FormatRequest& request);

// fit_tape_width with the heat-shrink tapes or the standard ones, whatever the name says: a
// -w given before -n was fitted before the name was known.
bool fit_to_tapes(FormatRequest& request, bool heat_shrink);

// Fits to the tape whose media name tape_media holds, as a width trimmed to that tape's
// printable width was: records its dots. False when no tape has that name or width_mm is
// not its printable width.
bool fit_tape_media(FormatRequest& request);

// The width that, asked for, fits to the tape of this media name and is trimmed to it: the
// tape's own width. -1 when no tape has that name.
int64_t nominal_width(const std::string& media_name);

// The nominal width of the widest heat-shrink tube.
constexpr int64_t kWidestTube = 24;

// The lengths a tape label is held between.
constexpr int64_t kShortestTapeLength = 4;
constexpr int64_t kLongestTapeLength = 1000;
constexpr int64_t kLongestTubeLength = 500;  // heat-shrink tube

// Holds length_mm between the shortest and the longest length of its tape.
void limit_tape_length(FormatRequest& request);

#endif  // VTPAPERTOOL_FORMATS_TAPE_H_
