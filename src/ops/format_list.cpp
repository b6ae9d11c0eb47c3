#include "ops/format_list.h"

#include <cstdio>
#include <cstdlib>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ops/format_ops.h"
#include "store/format_id.h"
#include "store/paths.h"
#include "store/records.h"

std::string escaped_name(const std::string& name) {
  std::string text;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      text += "\\\\";
    } else if (c == '\t') {
      text += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", byte);
      text += octal;
    } else {
      text += c;
    }
  }
  return text;
}

namespace {

constexpr char kNoSize[] = "-\t-";

struct ListedFormat {
  std::string key;
  std::string name;
  std::string size = kNoSize;
  bool in_function = false;
  bool in_paper = false;
};

// Reads a whole number that fills text[at, at + count): hexadecimal digits, or decimal
// digits after an optional minus sign (roll sizes below the margins have negative dots).
bool read_number(const std::string& text, size_t at, size_t count, int base, int64_t& value) {
  if (at + count > text.size() || count == 0) return false;
  const std::string digits = text.substr(at, count);
  if (digits.find_first_of(base == 16 ? " \t\n\v\f\r+-xX" : " \t\n\v\f\r+") != std::string::npos) {
    return false;
  }
  char* end = nullptr;
  value = std::strtoll(digits.c_str(), &end, base);
  return *end == '\0';
}

std::string size_text(int64_t width_mm, int64_t length_mm) {
  return std::to_string(width_mm) + "\t" + std::to_string(length_mm);
}

// Tape sizes stand in the key; roll sizes are worked back from the paper table's dots.
std::string size_of(const FormatRequest& request, const FormatEntry& entry) {
  int64_t width = 0;
  int64_t length = 0;
  if (is_tape_model(request)) {
    if (read_number(entry.key, 15, 2, 16, width) && read_number(entry.key, 17, 3, 16, length)) {
      return size_text(width, length);
    }
    return kNoSize;
  }
  const size_t tab = entry.rest.find('\t', 2);
  int64_t width_dots = 0;
  int64_t length_dots = 0;
  if (entry.rest.compare(0, 2, ":\t") == 0 && tab != std::string::npos &&
      read_number(entry.rest, 2, tab - 2, 10, width_dots) &&
      read_number(entry.rest, tab + 1, entry.rest.size() - tab - 1, 10, length_dots) &&
      roll_width_from_dots(width_dots, width) && roll_length_from_dots(length_dots, length)) {
    return size_text(width, length);
  }
  return kNoSize;
}

void add_formats(const std::vector<FormatEntry>& entries, bool from_paper,
                 const FormatRequest& request, std::vector<ListedFormat>& formats,
                 std::unordered_map<std::string, size_t>& index) {
  for (const FormatEntry& entry : entries) {
    const auto [at, added] = index.emplace(entry.key, formats.size());
    if (added) {
      formats.push_back({entry.key, entry.name});
      if (from_paper) formats.back().size = size_of(request, entry);
    }
    (from_paper ? formats[at->second].in_paper : formats[at->second].in_function) = true;
  }
}

std::string state_of(const ListedFormat& format, bool imaged, bool current) {
  const bool incomplete = !format.in_function || !format.in_paper || !imaged;
  if (current) return incomplete ? "current,incomplete" : "current";
  return incomplete ? "incomplete" : "-";
}

}  // namespace

int list_label_formats(FormatRequest request, std::string& listing) {
  std::vector<FormatEntry> paper;
  std::vector<FormatEntry> function;
  if (read_format_entries(paper_table_path(request.model_id), paper) != 0 ||
      read_format_entries(function_file_path(request.model_id), function) != 0) {
    return kDataFileFailed;
  }
  std::vector<ListedFormat> formats;
  std::unordered_map<std::string, size_t> index;
  add_formats(paper, true, request, formats, index);
  add_formats(function, false, request, formats, index);
  std::unordered_set<std::string> keys;
  for (const ListedFormat& format : formats) keys.insert(format.key);
  std::unordered_set<std::string> imaged;
  std::unordered_set<std::string> current;
  if (find_format_ids(imaging_area_path(request.model_id), keys, imaged) != 0 ||
      find_format_ids(settings_file_path(request.model_id), keys, current) != 0) {
    return kDataFileFailed;
  }
  for (const ListedFormat& format : formats) {
    listing += escaped_name(format.name) + "\t" + format.size + "\t" + format.key + "\t" +
               state_of(format, imaged.count(format.key) != 0, current.count(format.key) != 0) +
               "\n";
  }
  return kDone;
}
