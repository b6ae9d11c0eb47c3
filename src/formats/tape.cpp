#include "formats/tape.h"

#include <cstdint>
#include <iterator>
#include <string>

namespace {

struct TapeRow {
  int32_t nominal_mm;      // the largest requested width this tape takes
  int32_t printable_mm;    // the widest label it prints
  int32_t printable_dots;  // at 360 dpi; measured per tape, not derived from printable_mm
  const char* media_name;  // always 10 characters
};

// The 3.5 mm tape takes requests of 3 to 5 mm, hence its nominal 5.
constexpr TapeRow kStandardTapes[] = {
    {5, 2, 48, "_vtS3.5mm_"},    {6, 4, 64, "_vtS6mm___"},    {9, 7, 106, "_vtS9mm___"},
    {12, 10, 150, "_vtS12mm__"}, {18, 16, 234, "_vtS18mm__"}, {24, 22, 320, "_vtS24mm__"},
    {36, 31, 454, "_vtS36mm__"},
};

constexpr TapeRow kHeatShrinkTapes[] = {
    {6, 4, 56, "_vtHS6mm__"},    {9, 7, 96, "_vtHS9mm__"},    {12, 9, 132, "_vtHS12mm_"},
    {18, 15, 212, "_vtHS18mm_"}, {24, 18, 256, "_vtHS24mm_"},
};
static_assert(std::end(kHeatShrinkTapes)[-1].nominal_mm == kWidestTube);

template <size_t N>
const TapeRow* first_row_taking(const TapeRow (&rows)[N], int64_t width_mm) {
  for (const TapeRow& row : rows) {
    if (row.nominal_mm >= width_mm) return &row;
  }
  return nullptr;
}

template <size_t N>
const TapeRow* row_named(const TapeRow (&rows)[N], const std::string& media_name) {
  for (const TapeRow& row : rows) {
    if (media_name == row.media_name) return &row;
  }
  return nullptr;
}

void apply_row(const TapeRow& row, FormatRequest& request) {
  if (request.width_mm > row.printable_mm) {
    request.width_mm = row.printable_mm;
    request.tape_media = row.media_name;
  }
  request.print_width_dots = row.printable_dots;
}

}  // namespace

bool marks_heat_shrink(const FormatRequest& request) {
  return request.label_name.find("HS") != std::string::npos ||
         request.label_name.find("hs") != std::string::npos;
}

bool fit_tape_width(FormatRequest& request) {
  return fit_to_tapes(request, marks_heat_shrink(request));
}

bool fit_to_tapes(FormatRequest& request, bool heat_shrink) {
  // Another -w before this one must not leave its tape in the key.
  request.tape_media.clear();
  request.print_width_dots = 0;
  const TapeRow* row = heat_shrink ? first_row_taking(kHeatShrinkTapes, request.width_mm)
                                   : first_row_taking(kStandardTapes, request.width_mm);
  if (row == nullptr) return heat_shrink;
  apply_row(*row, request);
  return true;
}

bool fit_tape_media(FormatRequest& request) {
  const TapeRow* row = row_named(kStandardTapes, request.tape_media);
  if (row == nullptr) row = row_named(kHeatShrinkTapes, request.tape_media);
  if (row == nullptr || request.width_mm != row->printable_mm) return false;
  request.print_width_dots = row->printable_dots;
  return true;
}

int64_t nominal_width(const std::string& media_name) {
  const TapeRow* row = row_named(kStandardTapes, media_name);
  if (row == nullptr) row = row_named(kHeatShrinkTapes, media_name);
  return row == nullptr ? -1 : row->nominal_mm;
}

void limit_tape_length(FormatRequest& request) {
  const int64_t longest = marks_heat_shrink(request) ? kLongestTubeLength : kLongestTapeLength;
  if (request.length_mm < kShortestTapeLength) {
    request.length_mm = kShortestTapeLength;
  } else if (request.length_mm > longest) {
    request.length_mm = longest;
  }
}
