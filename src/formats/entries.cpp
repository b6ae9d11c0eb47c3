#include "formats/entries.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "formats/key.h"
#include "formats/tape.h"

namespace {

// Not 25.4: the driver's tables were computed with this divisor.
constexpr double kMillimetresPerInch = 25.43859649;
constexpr double kRollDpi = 300.0;
constexpr double kTapeDpi = 360.0;
constexpr double kPointsPerInch = 72.0;
// The key is followed by one byte, "/", then the name.
constexpr size_t kNameAt = kKeyLength + 1;

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

// Reads a whole decimal number that fills text[at, at + count), after an optional minus
// sign: roll sizes below the margins had negative dots.
bool read_decimal(const std::string& text, size_t at, size_t count, int64_t& value) {
  if (at + count > text.size() || count == 0) return false;
  const std::string digits = text.substr(at, count);
  if (digits.find_first_of(" \t\n\v\f\r+") != std::string::npos) return false;
  char* end = nullptr;
  value = std::strtoll(digits.c_str(), &end, 10);
  return *end == '\0';
}

// The two numbers of what follows a paper table entry's name: ":\t<width>\t<length>".
bool paper_dots(const std::string& rest, int64_t& width_dots, int64_t& length_dots) {
  const size_t tab = rest.find('\t', 2);
  return rest.compare(0, 2, ":\t") == 0 && tab != std::string::npos &&
         read_decimal(rest, 2, tab - 2, width_dots) &&
         read_decimal(rest, tab + 1, rest.size() - tab - 1, length_dots);
}

bool roll_size_from_dots(const std::string& rest, int64_t& width_mm, int64_t& length_mm) {
  int64_t width_dots = 0;
  int64_t length_dots = 0;
  return paper_dots(rest, width_dots, length_dots) &&
         roll_millimetres(width_dots, kRollWidthMargin, width_mm) &&
         roll_millimetres(length_dots, kRollLengthMargin, length_mm);
}

}  // namespace

bool width_fits_records(const FormatRequest& request) {
  return fits_int32(request.width_mm) && truncates_to_int32(paper_width_dots(request));
}

bool length_fits_records(const FormatRequest& request) {
  return fits_int32(request.length_mm) && truncates_to_int32(paper_length_dots(request));
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

bool read_entry(std::string_view line, size_t mark, FormatEntry& entry) {
  const int64_t length = key_field_value(line.substr(mark), kNameLengthField, true);
  if (length < 0 || length > kLongestNameInKey ||
      line.size() < mark + kNameAt + static_cast<size_t>(length)) {
    return false;
  }
  const size_t name_end = mark + kNameAt + static_cast<size_t>(length);
  entry.key = std::string(line.substr(mark, kKeyLength));
  entry.name = std::string(line.substr(mark + kNameAt, static_cast<size_t>(length)));
  entry.rest = std::string(line.substr(name_end));
  return true;
}

bool width_to_ask(const FormatRequest& request, const FormatEntry& entry, int64_t& width_mm) {
  int64_t length_mm = 0;
  if (!entry_size(request, entry, width_mm, length_mm)) return false;
  if (!is_tape_model(request)) return true;
  const std::string media = entry.key.substr(kMediaField.at, kMediaField.size);
  if (media == kNoMediaFiller) return true;
  width_mm = nominal_width(media);
  return width_mm > 0;
}

bool request_from_paper_entry(const FormatEntry& entry, FormatRequest& request) {
  request.label_name = entry.name;
  int64_t width_dots = 0;
  int64_t length_dots = 0;
  if (!entry_size(request, entry, request.width_mm, request.length_mm) ||
      !paper_dots(entry.rest, width_dots, length_dots)) {
    return false;
  }
  request.print_width_dots = is_tape_model(request) ? width_dots : 0;
  return width_fits_records(request) && length_fits_records(request);
}

bool request_from_tape_key(const std::string& key, FormatRequest& request) {
  const std::string media = key.substr(kMediaField.at, kMediaField.size);
  request.tape_media = media == kNoMediaFiller ? "" : media;
  request.width_mm = key_field_value(key, kWidthField);
  request.length_mm = key_field_value(key, kLengthField);
  if (request.width_mm < 0 || request.length_mm < 0) return false;
  // A width the tape took as it stood left no media name in the key.
  const bool fitted = request.tape_media.empty()
                          ? fit_tape_width(request) && request.tape_media.empty()
                          : fit_tape_media(request);
  return fitted && key_prefix(request) == key.substr(0, kTimeField.at);
}

// Tape sizes stand in the key; roll sizes are worked back from the paper table's dots.
bool entry_size(const FormatRequest& request, const FormatEntry& entry, int64_t& width_mm,
                int64_t& length_mm) {
  if (!is_tape_model(request)) return roll_size_from_dots(entry.rest, width_mm, length_mm);
  width_mm = key_field_value(entry.key, kWidthField, true);
  length_mm = key_field_value(entry.key, kLengthField, true);
  return width_mm >= 0 && length_mm >= 0;
}
