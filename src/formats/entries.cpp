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

// Reads a whole decimal number that fills text, after an optional minus sign: roll sizes
// below the margins had negative dots.
bool read_decimal(std::string_view text, int64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  const bool negative = text[0] == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return false;
  }
  value = 0;
  for (const char c : text) value = value * 10 + (c - '0');
  if (negative) value = -value;
  return true;
}

}  // namespace

bool width_fits_records(const FormatRequest& request) {
  if (is_tape_model(request) && request.print_width_dots == 0 && request.width_mm > 0xFF) {
    return false;
  }
  return fits_int32(request.width_mm) && truncates_to_int32(paper_width_dots(request));
}

bool length_fits_records(const FormatRequest& request) {
  return fits_int32(request.length_mm) && truncates_to_int32(paper_length_dots(request));
}

// A roll narrower or shorter than its margins leaves no dot to print.
Fault fit_width(FormatRequest& request) {
  if (is_tape_model(request) && !fit_tape_width(request)) {
    return {0, "", "wider than the widest tape this model prints"};
  }
  if (!is_tape_model(request) && request.width_mm <= kRollWidthMargin) {
    return {0, "",
            "narrower than " + std::to_string(kRollWidthMargin + 1) + " mm, which prints nothing"};
  }
  if (!width_fits_records(request)) return {0, "", "too wide for the data files"};
  return {};
}

Fault fit_length(FormatRequest& request) {
  if (is_tape_model(request)) limit_tape_length(request);
  if (!is_tape_model(request) && request.length_mm <= kRollLengthMargin) {
    return {0, "",
            "shorter than " + std::to_string(kRollLengthMargin + 1) + " mm, which prints nothing"};
  }
  if (!length_fits_records(request)) return {0, "", "too long for the data files"};
  return {};
}

// A line break would split the format's entry across data-file lines, where it could
// never be found again; a zero byte would end the name at the sibling tool and in every
// search of a line, so that another format is changed; "[CustomTape]" would make each of
// its entries one more place to insert the next format; a key would make a delete of that
// key take this format along.
Fault label_name_refusal(const std::string& name) {
  if (name.empty()) return {0, "", "the label name is empty"};
  if (name.size() > kLongestLabelName) {
    return {0, "", "the label name is longer than " + std::to_string(kLongestLabelName) + " bytes"};
  }
  if (name.find_first_of("\r\n") != std::string::npos) {
    return {0, "", "the label name holds a line break"};
  }
  if (name.find('\0') != std::string::npos) return {0, "", "the label name holds a zero byte"};
  if (name.find(kCustomTapeHeader) != std::string::npos) {
    return {0, "", std::string("the label name holds ") + kCustomTapeHeader};
  }
  if (holds_key(name)) return {0, "", "the label name holds a format key"};
  return {};
}

Fault catalogue_refusal(const FormatRequest& request) {
  const Fault refusal = label_name_refusal(request.label_name);
  if (failed(refusal)) return refusal;
  FormatRequest again = request;
  again.tape_media.clear();
  again.print_width_dots = 0;
  again.width_mm = width_to_ask(request);
  Fault fault = fit_width(again);
  if (!failed(fault)) fault = fit_length(again);
  if (failed(fault)) return fault;
  const std::string key(kKeyLength, 'X');
  if (key_prefix(again) == key_prefix(request) &&
      paper_table_entry(key, again) == paper_table_entry(key, request) &&
      imaging_area_entry(key, again) == imaging_area_entry(key, request)) {
    return {};
  }
  return {0, "", "its -w came before its -n, which fitted it to another tape than its name gives"};
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

bool read_paper_dots(std::string_view rest, int64_t& width_dots, int64_t& length_dots) {
  const size_t tab = rest.find('\t', 2);
  return rest.substr(0, 2) == ":\t" && tab != std::string_view::npos &&
         read_decimal(rest.substr(2, tab - 2), width_dots) &&
         read_decimal(rest.substr(tab + 1), length_dots);
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

// Points grow by almost three per millimetre, so two decimals tell whole millimetres apart.
bool length_from_imaging(std::string_view rest, int64_t& length_mm) {
  const size_t tab = rest.rfind('\t');
  if (tab == std::string_view::npos) return false;
  const std::string field(rest.substr(tab + 1));
  char* end = nullptr;
  const double points = std::strtod(field.c_str(), &end);
  if (field.empty() || *end != '\0' || !(points >= 0.0 && points < 1e12)) return false;
  const auto near = static_cast<int64_t>(points / kPointsPerInch * kMillimetresPerInch);
  for (int64_t candidate = near - 1; candidate <= near + 1; ++candidate) {
    FormatRequest request;
    request.length_mm = candidate;
    if (candidate > 0 && two_decimals(length_points(request)) == field) {
      length_mm = candidate;
      return true;
    }
  }
  return false;
}

int64_t width_to_ask(const FormatRequest& request) {
  if (!is_tape_model(request) || request.tape_media.empty()) return request.width_mm;
  return nominal_width(request.tape_media);
}
