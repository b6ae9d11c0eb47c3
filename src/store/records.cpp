#include "store/records.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace {

// Not 25.4: the driver's tables were computed with this divisor.
constexpr double kMillimetresPerInch = 25.43859649;
constexpr double kRollDpi = 300.0;
constexpr double kTapeDpi = 360.0;
constexpr double kPointsPerInch = 72.0;
// Roll labels lose this much of their width and length to the printer's margins.
constexpr int64_t kRollWidthMargin = 3;
constexpr int64_t kRollLengthMargin = 6;

bool fits_int32(int64_t value) { return value <= std::numeric_limits<int32_t>::max(); }

// Whether truncating dots toward zero gives a 32-bit number.
bool truncates_to_int32(double dots) { return dots > -2147483649.0 && dots < 2147483648.0; }

int truncated(double dots) { return static_cast<int>(dots); }

std::string two_decimals(double value) {
  const int size = std::snprintf(nullptr, 0, "%.2f", value);
  std::string text(static_cast<size_t>(size) + 1, '\0');
  std::snprintf(text.data(), text.size(), "%.2f", value);
  text.pop_back();
  return text;
}

double roll_dots(int64_t millimetres, int64_t margin) {
  return static_cast<double>(millimetres - margin) / kMillimetresPerInch * kRollDpi;
}

// Dots grow by more than one per millimetre, so at most one whole millimetre near the
// estimate gives them back exactly.
bool roll_millimetres(int64_t dots, int64_t margin, int64_t& millimetres) {
  const double estimate = static_cast<double>(dots) * kMillimetresPerInch / kRollDpi;
  const int64_t near = static_cast<int64_t>(std::floor(estimate)) + margin;
  for (int64_t candidate = near - 1; candidate <= near + 2; ++candidate) {
    if (candidate > 0 && truncates_to_int32(roll_dots(candidate, margin)) &&
        truncated(roll_dots(candidate, margin)) == dots) {
      millimetres = candidate;
      return true;
    }
  }
  return false;
}

double printable_width_points(const FormatRequest& request) {
  return static_cast<double>(request.print_width_dots) / kTapeDpi * kPointsPerInch;
}

double length_points(const FormatRequest& request) {
  return static_cast<double>(request.length_mm) / kMillimetresPerInch * kPointsPerInch;
}

}  // namespace

double paper_width_dots(const FormatRequest& request) {
  if (is_tape_model(request)) return static_cast<double>(request.print_width_dots);
  return roll_dots(request.width_mm, kRollWidthMargin);
}

double paper_length_dots(const FormatRequest& request) {
  if (is_tape_model(request)) {
    return static_cast<double>(request.length_mm) / kMillimetresPerInch * kTapeDpi;
  }
  return roll_dots(request.length_mm, kRollLengthMargin);
}

bool width_fits_records(const FormatRequest& request) {
  return fits_int32(request.width_mm) && truncates_to_int32(paper_width_dots(request));
}

bool length_fits_records(const FormatRequest& request) {
  return fits_int32(request.length_mm) && truncates_to_int32(paper_length_dots(request));
}

bool roll_width_from_dots(int64_t dots, int64_t& width_mm) {
  return roll_millimetres(dots, kRollWidthMargin, width_mm);
}

bool roll_length_from_dots(int64_t dots, int64_t& length_mm) {
  return roll_millimetres(dots, kRollLengthMargin, length_mm);
}

std::string function_entry(const std::string& key, const FormatRequest& request) {
  return key + "/" + request.label_name + "\n";
}

std::string paper_table_entry(const std::string& key, const FormatRequest& request) {
  return key + "/" + request.label_name + ":\t" +
         std::to_string(truncated(paper_width_dots(request))) + "\t" +
         std::to_string(truncated(paper_length_dots(request))) + "\n";
}

std::string imaging_area_entry(const std::string& key, const FormatRequest& request) {
  return key + "\t:\t0.00\t0.00\t" + two_decimals(printable_width_points(request)) + "\t" +
         two_decimals(length_points(request)) + "\n";
}

std::string default_media_line(const FormatRequest& request) {
  return is_tape_model(request) ? "Media=vtS12mm\n" : "MediaSize=29X1\n";
}
