#include "ops/format_list.h"

#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "formats/entry_walk.h"
#include "formats/layout.h"
#include "ops/format_ops.h"

std::string escaped_name(const std::string& name) {
  std::string text;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      text += "\\\\";
    } else if (c == '\t') {
      text += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      text += {'\\', static_cast<char>('0' + (byte >> 6)),
               static_cast<char>('0' + ((byte >> 3) & 7)), static_cast<char>('0' + (byte & 7))};
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

std::string size_of(const FormatRequest& request, const FormatEntry& entry) {
  int64_t width = 0;
  int64_t length = 0;
  if (!entry_size(request, entry, width, length)) return kNoSize;
  return std::to_string(width) + "\t" + std::to_string(length);
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

Outcome list_label_formats(FormatRequest request) {
  const FileSet set = model_files(request.model_id);
  std::vector<FormatEntry> paper;
  std::vector<FormatEntry> function;
  Fault fault = read_format_entries(set.files[kPaperTable], paper);
  if (!failed(fault)) fault = read_format_entries(set.files[kFunctionFile], function);
  if (failed(fault)) return failure(Result::kDataFileFailed, fault);
  std::vector<ListedFormat> formats;
  std::unordered_map<std::string, size_t> index;
  add_formats(paper, true, request, formats, index);
  add_formats(function, false, request, formats, index);
  std::unordered_set<std::string> keys;
  for (const ListedFormat& format : formats) keys.insert(format.key);
  std::unordered_set<std::string> imaged;
  std::unordered_set<std::string> current;
  fault = find_held_keys(set.files[kImagingArea], keys, imaged);
  if (!failed(fault)) fault = find_held_keys(set.files[kSettingsFile], keys, current);
  if (failed(fault)) return failure(Result::kDataFileFailed, fault);
  Outcome outcome;
  for (const ListedFormat& format : formats) {
    outcome.output +=
        escaped_name(format.name) + "\t" + format.size + "\t" + format.key + "\t" +
        state_of(format, imaged.count(format.key) != 0, current.count(format.key) != 0) + "\n";
  }
  return outcome;
}
