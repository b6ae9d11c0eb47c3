#include "formats/on_file.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "formats/entries.h"
#include "formats/tape.h"
#include "store/lines.h"
#include "store/open_file.h"
#include "store/seam.h"

namespace {

// What an entry of each file looks like, as the tool writes it: K the key, N the name (as
// long as the key says), i a whole number, f a decimal number; any other byte stands for
// itself. Indexed by DataFile; the settings file holds no entries.
constexpr const char* kEntryShapes[kDataFileCount] = {"K/N", "K/N:\ti\ti", "", "K\t:\tf\tf\tf\tf"};

enum class Fit { kNone, kCutShort, kWhole };

// How much of text a number of the kind takes from at.
size_t number_at(std::string_view text, size_t at, char kind) {
  size_t end = at;
  if (end < text.size() && text[end] == '-') ++end;
  while (end < text.size() &&
         ((text[end] >= '0' && text[end] <= '9') || (kind == 'f' && text[end] == '.'))) {
    ++end;
  }
  return end - at;
}

// Whether text is an entry of the shape, or the start of one that a crash cut short.
Fit fit_to_shape(std::string_view text, const char* shape) {
  const int64_t name_length = key_field_value(text, kNameLengthField, true);
  size_t at = 0;
  for (const char* token = shape; *token != '\0'; ++token) {
    if (at == text.size()) return Fit::kCutShort;
    size_t taken = 1;
    if (*token == 'K') {
      // A key cut short cannot be told from other text.
      if (!is_key_at(text, 0)) return Fit::kNone;
      taken = kKeyLength;
    } else if (*token == 'N') {
      if (name_length < 0) return Fit::kNone;
      taken = std::min(static_cast<size_t>(name_length), text.size() - at);
      if (taken < static_cast<size_t>(name_length)) return Fit::kCutShort;
    } else if (*token == 'i' || *token == 'f') {
      taken = number_at(text, at, *token);
      if (taken == 0) return Fit::kNone;
    } else if (text[at] != *token) {
      return Fit::kNone;
    }
    at += taken;
  }
  return at == text.size() ? Fit::kWhole : Fit::kNone;
}

// Where each entry after the line's start begins: at a key whose text up to the next such
// key, or the line's end, is an entry of the file, whole or cut short. A key that stands in
// other text is quoted, not an entry.
std::vector<size_t> cuts_in(std::string_view text, DataFile file) {
  std::vector<size_t> marks;
  for (size_t at = text.find(kKeyMark, 1); at != std::string_view::npos;
       at = text.find(kKeyMark, at + 1)) {
    marks.push_back(at);
  }
  std::vector<size_t> cuts;
  size_t end = text.size();
  for (auto mark = marks.rbegin(); mark != marks.rend(); ++mark) {
    if (fit_to_shape(text.substr(*mark, end - *mark), kEntryShapes[file]) == Fit::kNone) {
      continue;
    }
    cuts.insert(cuts.begin(), *mark);
    end = *mark;
  }
  return cuts;
}

// Whether the text at a line's start is an entry: a key (with the name its length field
// gives, where the file's entries carry one), whole or not.
bool starts_entry(std::string_view text, DataFile file, FormatEntry& read) {
  if (file != kImagingArea && read_entry(text, 0, read)) return true;
  read = {};
  return is_key_at(text, 0);
}

struct Placed {
  std::string key;
  Entry entry;
};

// What one file gave, before the formats are put together.
struct FileReading {
  DataFile file = kFunctionFile;
  std::vector<Placed> entries;  // in file order
};

void add_once(const std::string& key, std::vector<std::string>& keys) {
  if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
}

void read_line(std::string_view whole, FileReading& reading, OnFile& on_file) {
  std::string_view text = searchable_part(whole);
  if (text.size() == whole.size() && !text.empty() && text.back() == '\n') {
    text.remove_suffix(text.size() > 1 && text[text.size() - 2] == '\r' ? 2 : 1);
  }
  const DataFile file = reading.file;
  for (size_t at = text.find(kKeyMark); at != std::string_view::npos;
       at = text.find(kKeyMark, at + 1)) {
    if (!is_key_at(text, at)) continue;
    const std::string key(text.substr(at, kKeyLength));
    if (file == kSettingsFile) add_once(key, on_file.current);
    if (file == kFunctionFile || file == kPaperTable) {
      on_file.held_keys.emplace_back();
      key.copy(on_file.held_keys.back().data(), kKeyLength);
    }
  }
  if (file == kSettingsFile) return;
  const std::vector<size_t> cuts = cuts_in(text, file);
  if (!cuts.empty()) on_file.files[file].joined.push_back({std::string(text), cuts});
  std::vector<size_t> starts{0};
  starts.insert(starts.end(), cuts.begin(), cuts.end());
  for (size_t i = 0; i < starts.size(); ++i) {
    const size_t end = i + 1 < starts.size() ? starts[i + 1] : text.size();
    const std::string_view segment = text.substr(starts[i], end - starts[i]);
    FormatEntry read;
    if (!starts_entry(segment, file, read)) continue;
    const Entry entry{std::string(segment), read.name, !cuts.empty(), reading.entries.size()};
    reading.entries.push_back({std::string(segment.substr(0, kKeyLength)), entry});
  }
}

// Each kind of line end is looked for only until one is found: a file of one kind costs a
// search for a carriage return, which memchr makes at memory speed, and its first line.
void note_line_ends(std::string_view lines, FileOnDisk& disk) {
  if (!disk.crlf_lines) disk.crlf_lines = find_text(lines, "\r\n", 0) != std::string_view::npos;
  for (size_t at = lines.find('\n'); !disk.lf_lines && at != std::string_view::npos;
       at = lines.find('\n', at + 1)) {
    disk.lf_lines = at == 0 || lines[at - 1] != '\r';
  }
}

// Lines that hold no key cost nothing but the search for one.
void read_lines(std::string_view lines, FileReading& reading, OnFile& on_file) {
  note_line_ends(lines, on_file.files[reading.file]);
  for (size_t at = 0; reading.file == kFunctionFile &&
                      (at = find_text(lines, kCustomTapeHeader, at)) != std::string_view::npos;) {
    const std::string_view line = line_around(lines, at);
    const size_t start = static_cast<size_t>(line.data() - lines.data());
    if (searchable_part(line).find(kCustomTapeHeader) != std::string_view::npos) {
      ++on_file.headers;
    }
    at = start + line.size();
  }
  for (size_t at = find_text(lines, kKeyMark, 0); at != std::string_view::npos;) {
    const std::string_view line = line_around(lines, at);
    read_line(line, reading, on_file);
    at = find_text(lines, kKeyMark, static_cast<size_t>(line.data() - lines.data()) + line.size());
  }
}

Fault read_file(FileReading& reading, OnFile& on_file) {
  const std::string& path = on_file.set.files[reading.file];
  Descriptor file;
  const Fault opened = open_data_file(path, file);
  if (opened.error == ENOENT) {
    on_file.files[reading.file].missing = true;
    return {};
  }
  if (failed(opened)) return opened;
  LineReader reader = make_line_reader(file.fd, path, line_block_size());
  for (;;) {
    std::string_view lines;
    const Fault fault = next_lines(reader, lines);
    if (failed(fault) || lines.empty()) return fault;
    read_lines(lines, reading, on_file);
  }
}

FormatOnFile& format_for(const std::string& key, OnFile& on_file) {
  const auto [at, added] = on_file.by_key.emplace(key, on_file.formats.size());
  if (added) {
    on_file.formats.emplace_back();
    on_file.formats.back().key = key;
  }
  return on_file.formats[at->second];
}

void place_entries(const FileReading& reading, OnFile& on_file) {
  for (const Placed& placed : reading.entries) {
    FormatOnFile& format = format_for(placed.key, on_file);
    format.entries[reading.file].push_back(placed.entry);
  }
}

std::string first_name(const std::vector<Entry>& entries) {
  for (const Entry& entry : entries) {
    if (!entry.name.empty()) return entry.name;
  }
  return "";
}

Fault cannot_judge(const std::string& why) { return {0, "", why}; }

// The dots of the format's first paper-table entry, where it holds them.
bool paper_dots_of(const FormatOnFile& format, int64_t& width_dots, int64_t& length_dots) {
  const std::vector<Entry>& paper = format.entries[kPaperTable];
  if (paper.empty() || paper.front().text.size() < kKeyLength + 1 + format.name.size()) {
    return false;
  }
  return read_paper_dots(
      std::string_view(paper.front().text).substr(kKeyLength + 1 + format.name.size()), width_dots,
      length_dots);
}

// A width that a tape took as it stood left no media name in the key, and its tape is not
// told by the name alone: -w fitted it to the tapes that the name given before it marked.
// The paper entry's dots tell which; a tube too wide for any tape has none, and the key
// holds only the low 8 bits of its width.
bool fit_by_dots(const FormatOnFile& format, FormatRequest& request) {
  constexpr int64_t kWidthFieldValues = int64_t{1} << (4 * kWidthField.size);
  int64_t width_dots = -1;
  int64_t length_dots = 0;
  if (!paper_dots_of(format, width_dots, length_dots)) width_dots = -1;
  const bool named = marks_heat_shrink(request);
  const struct {
    bool heat_shrink;
    int64_t width;
  } fits[] = {{named, request.width_mm},
              {!named, request.width_mm},
              {true, request.width_mm <= kWidestTube ? request.width_mm + kWidthFieldValues : 0}};
  for (const auto& fit : fits) {
    FormatRequest tried = request;
    tried.width_mm = fit.width;
    if (tried.width_mm > 0 && fit_to_tapes(tried, fit.heat_shrink) && tried.tape_media.empty() &&
        (width_dots < 0 || tried.print_width_dots == width_dots)) {
      request = tried;
      return true;
    }
  }
  return false;
}

Fault judge_tape(const FormatOnFile& format, FormatRequest& request) {
  const std::string media = format.key.substr(kMediaField.at, kMediaField.size);
  request.tape_media = media == kNoMediaFiller ? "" : media;
  request.width_mm = key_field_value(format.key, kWidthField);
  request.length_mm = key_field_value(format.key, kLengthField);
  const bool fitted =
      request.width_mm > 0 && request.length_mm > 0 &&
      (request.tape_media.empty() ? fit_by_dots(format, request) : fit_tape_media(request));
  if (!fitted) return cannot_judge("its key gives no tape label this model prints");
  return {};
}

// Roll sizes stand whole only in the paper table's dots, and the length also in the
// ImagingArea line's points; the key holds their low bits, which the others must agree with.
Fault judge_roll(const FormatOnFile& format, FormatRequest& request) {
  const int64_t width_bits = key_field_value(format.key, kWidthField);
  const int64_t length_bits = key_field_value(format.key, kLengthField);
  request.width_mm = width_bits;
  request.length_mm = length_bits;
  int64_t width_dots = 0;
  int64_t length_dots = 0;
  int64_t width = 0;
  int64_t length = 0;
  if (paper_dots_of(format, width_dots, length_dots) &&
      roll_millimetres(width_dots, kRollWidthMargin, width) &&
      roll_millimetres(length_dots, kRollLengthMargin, length) && (width & 0xFF) == width_bits &&
      (length & 0xFFF) == length_bits) {
    request.width_mm = width;
    request.length_mm = length;
    return {};
  }
  // A length too long for the paper table's dots could not be written back there.
  const std::vector<Entry>& imaging = format.entries[kImagingArea];
  FormatRequest from_imaging = request;
  if (!imaging.empty() &&
      length_from_imaging(std::string_view(imaging.front().text).substr(kKeyLength),
                          from_imaging.length_mm) &&
      (from_imaging.length_mm & 0xFFF) == length_bits && length_fits_records(from_imaging)) {
    request.length_mm = from_imaging.length_mm;
  }
  if (request.width_mm <= 0 || request.length_mm <= 0) {
    return cannot_judge("its key gives no size this model prints");
  }
  return {};
}

}  // namespace

void judge_format(const FormatRequest& model, FormatOnFile& format) {
  format.request = model;
  format.request.label_name = format.name;
  if (format.name.empty()) {
    format.unjudged = cannot_judge("no entry names it");
    return;
  }
  FormatRequest& request = format.request;
  format.unjudged =
      is_tape_model(model) ? judge_tape(format, request) : judge_roll(format, request);
  if (failed(format.unjudged)) return;
  if (key_prefix(request) != format.key.substr(0, kTimeField.at)) {
    format.unjudged = cannot_judge("its key gives no format this model makes");
  }
}

namespace {

// The paper table's formats first, as --list shows them.
void put_together(std::vector<FileReading>& readings, bool judged, OnFile& on_file) {
  for (const DataFile file : {kPaperTable, kFunctionFile, kImagingArea}) {
    for (FileReading& reading : readings) {
      if (reading.file == file) place_entries(reading, on_file);
    }
  }
  for (FormatOnFile& format : on_file.formats) {
    format.name = first_name(format.entries[kFunctionFile]);
    if (format.name.empty()) format.name = first_name(format.entries[kPaperTable]);
    if (judged) judge_format(on_file.model, format);
  }
  for (const std::string& key : on_file.current) {
    const auto at = on_file.by_key.find(key);
    if (at != on_file.by_key.end()) on_file.formats[at->second].current = true;
  }
}

// The entry as the file holds it, without its line end.
std::string without_line_end(std::string line) {
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return line;
}

}  // namespace

Fault read_on_file(const FormatRequest& model, const FileSet& set, Reading reading,
                   OnFile& on_file) {
  on_file = OnFile();
  on_file.model = model;
  on_file.set = set;
  std::vector<FileReading> readings;
  Fault fault;
  for (size_t file = 0; file < set.files.size() && file < kDataFileCount; ++file) {
    if (reading == Reading::kNames && file != kFunctionFile && file != kPaperTable) continue;
    readings.push_back({static_cast<DataFile>(file), {}});
    fault = read_file(readings.back(), on_file);
    if (failed(fault)) break;
  }
  put_together(readings, reading == Reading::kWhole, on_file);
  return fault;
}

FoundFormat find_named(const OnFile& on_file, const std::string& name) {
  FoundFormat found;
  for (const DataFile file : {kFunctionFile, kPaperTable}) {
    std::vector<std::pair<size_t, const std::string*>> named;  // in file order
    for (const FormatOnFile& format : on_file.formats) {
      for (const Entry& entry : format.entries[file]) {
        if (entry.name == name) named.emplace_back(entry.place, &format.key);
      }
    }
    std::sort(named.begin(), named.end());
    for (const auto& placed : named) add_once(*placed.second, found.keys);
    if (file == kPaperTable) found.in_paper_table = !named.empty();
  }
  return found;
}

const FormatOnFile* format_of(const OnFile& on_file, const std::string& key) {
  const auto at = on_file.by_key.find(key);
  return at == on_file.by_key.end() ? nullptr : &on_file.formats[at->second];
}

std::string expected_entry(const FormatOnFile& format, DataFile file) {
  switch (file) {
    case kFunctionFile:
      return function_entry(format.key, format.request);
    case kPaperTable:
      return paper_table_entry(format.key, format.request);
    case kImagingArea:
      return imaging_area_entry(format.key, format.request);
    case kSettingsFile:
    case kDataFileCount:
      break;
  }
  return "";
}

bool entries_agree(const FormatOnFile& format, DataFile file) {
  const std::vector<Entry>& entries = format.entries[file];
  if (failed(format.unjudged)) return entries.empty();
  const std::string expected = without_line_end(expected_entry(format, file));
  return std::all_of(entries.begin(), entries.end(),
                     [&expected](const Entry& entry) { return entry.text == expected; });
}

bool is_whole(const FormatOnFile& format) {
  return std::all_of(std::begin(kEntryFiles), std::end(kEntryFiles), [&format](DataFile file) {
    return !format.entries[file].empty() && entries_agree(format, file);
  });
}

KeyTimesByPrefix held_key_times(const OnFile& on_file) {
  KeyTimesByPrefix taken;
  for (const auto& held : on_file.held_keys) {
    const std::string_view key(held.data(), held.size());
    const std::string_view prefix = key.substr(0, kTimeField.at);
    mark_key_time(key, prefix, taken[std::string(prefix)]);
  }
  return taken;
}
