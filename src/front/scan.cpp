#include "front/scan.h"

#include <cerrno>
#include <cstdlib>

#include "front/tape.h"
#include "store/format_id.h"
#include "store/records.h"

namespace {

constexpr size_t kLongestPrinterName = 1024;
constexpr size_t kLongestLabelName = 32;
constexpr size_t kLongestNumber = 32;

struct SeenOptions {
  bool printer = false;
  bool add_name = false;
  bool delete_name = false;
  bool width = false;
  bool length = false;
};

bool has_length_within(const std::string& value, size_t longest) {
  return !value.empty() && value.size() <= longest;
}

// A line break would split the format's entry across data-file lines, where it could
// never be found again; "[CustomTape]" would make each of its entries one more place to
// insert the next format; a key would make a delete of that key take this format along.
bool is_storable_label_name(const std::string& value) {
  return has_length_within(value, kLongestLabelName) &&
         value.find_first_of("\r\n") == std::string::npos &&
         value.find(kCustomTapeHeader) == std::string::npos && !holds_format_id(value);
}

// Leading blanks, a sign, digits up to the first non-digit, saturating: "12mm" is 12.
int64_t to_millimetres(const std::string& value) {
  errno = 0;
  return std::strtoll(value.c_str(), nullptr, 10);
}

bool scan_width(const std::string& value, FormatRequest& request) {
  if (!has_length_within(value, kLongestNumber)) return false;
  request.width_mm = to_millimetres(value);
  if (request.width_mm <= 0) return false;
  if (is_tape_model(request) && !fit_tape_width(request)) return false;
  return width_fits_records(request);
}

bool scan_length(const std::string& value, FormatRequest& request) {
  if (!has_length_within(value, kLongestNumber)) return false;
  request.length_mm = to_millimetres(value);
  if (request.length_mm <= 0) return false;
  if (is_tape_model(request)) limit_tape_length(request);
  return length_fits_records(request);
}

bool scan_label_name(const std::string& value, FormatRequest& request) {
  if (!is_storable_label_name(value)) return false;
  request.label_name = value;
  return true;
}

bool scan_pair(const std::string& option, const std::string& value, FormatRequest& request,
               SeenOptions& seen) {
  const std::string key = option.substr(0, 2);
  if (key == "-P") {
    if (!has_length_within(value, kLongestPrinterName)) return false;
    request.printer_name = value;
    return seen.printer = true;
  }
  if (key == "-n") return seen.add_name = scan_label_name(value, request);
  if (key == "-d") return seen.delete_name = scan_label_name(value, request);
  if (key == "-w") return seen.width = scan_width(value, request);
  if (key == "-h") return seen.length = scan_length(value, request);
  return false;
}

Command choose_command(const SeenOptions& seen) {
  if (!seen.printer) return Command::kUsage;
  if (seen.add_name) {
    if (seen.delete_name || !seen.width || !seen.length) return Command::kUsage;
    return Command::kAdd;
  }
  return seen.delete_name ? Command::kDelete : Command::kUsage;
}

}  // namespace

Command scan_command_line(const std::vector<std::string>& words, FormatRequest& request) {
  if (words.size() < 3 || words.size() % 2 == 0) return Command::kUsage;
  SeenOptions seen;
  for (size_t i = 1; i + 1 < words.size(); i += 2) {
    if (!scan_pair(words[i], words[i + 1], request, seen)) return Command::kUsage;
  }
  return choose_command(seen);
}
