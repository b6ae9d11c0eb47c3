#include "store/format_id.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "store/lines.h"
#include "store/rewrite.h"
#include "store/sys_io.h"

namespace {

constexpr std::string_view kKeyMark = "VtL";
constexpr size_t kNameLengthAt = 13;
constexpr size_t kTimeAt = 20;
constexpr size_t kNameAt = 26;
constexpr unsigned kLongestStoredName = 99;
// The key's time field: the seconds' low 4 bits and the microseconds' low 16 bits.
constexpr uint32_t kTimeValues = 1u << 20;

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The value of text as upper-case hexadecimal digits, or -1; keys are written in upper
// case and compared byte for byte, so lower case never makes a key.
long upper_hex_value(std::string_view text) {
  long value = 0;
  for (const char c : text) {
    if (c >= 'a' && c <= 'f') return -1;
    const int digit = hex_digit(c);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

// Whether a whole key starts at offset at: the mark, ten bytes, twelve upper-case digits.
bool is_format_id_at(std::string_view text, size_t at) {
  return text.size() >= at + kFormatIdLength &&
         upper_hex_value(text.substr(at + kNameLengthAt, kFormatIdLength - kNameLengthAt)) >= 0;
}

// The low digits hexadecimal digits of value, upper case, zero-padded: the key's fields
// keep their positions whatever the value.
std::string hex_field(uint64_t value, int digits) {
  std::string field(static_cast<size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4)
    field[static_cast<size_t>(i)] = "0123456789ABCDEF"[value & 0xF];
  return field;
}

uint32_t time_field(ClockReading now) {
  return static_cast<uint32_t>(((now.seconds & 0xF) << 16) | (now.microseconds & 0xFFFF));
}

ClockReading one_microsecond_later(ClockReading now) {
  if (++now.microseconds < 1000000) return now;
  return {now.seconds + 1, 0};
}

struct EntryView {
  std::string_view key;
  std::string_view name;
  std::string_view rest;
};

// Reads the entry that the line's first key mark starts: the name length at offset 13
// (either case), the name at offset 26.
bool view_entry(std::string_view line, EntryView& entry) {
  const size_t mark = line.find(kKeyMark);
  if (mark == std::string_view::npos || line.size() < mark + kNameLengthAt + 2) return false;
  const int high = hex_digit(line[mark + kNameLengthAt]);
  const int low = hex_digit(line[mark + kNameLengthAt + 1]);
  if (high < 0 || low < 0) return false;
  const size_t length = static_cast<size_t>(high * 16 + low);
  if (length > kLongestStoredName || line.size() < mark + kNameAt + length) return false;
  entry.key = line.substr(mark, kFormatIdLength);
  entry.name = line.substr(mark + kNameAt, length);
  entry.rest = line.substr(mark + kNameAt + length);
  return true;
}

// Walks every key mark of a run of lines, with the line of each as the substring tests
// see it: up to its first zero byte, without its line feed.
struct MarkWalk {
  std::string_view lines;
  size_t at = 0;
  size_t from = 0;
  size_t line_end = 0;
  size_t searchable_end = 0;
  bool first_in_line = false;
  std::string_view line{};
};

bool next_mark(MarkWalk& walk) {
  walk.at = walk.lines.find(kKeyMark, walk.from);
  if (walk.at == std::string_view::npos) return false;
  walk.from = walk.at + 1;
  walk.first_in_line = walk.at >= walk.line_end;
  if (walk.first_in_line) {
    const std::string_view whole = line_around(walk.lines, walk.at);
    const size_t start = static_cast<size_t>(whole.data() - walk.lines.data());
    walk.line_end = start + whole.size();
    walk.line = searchable_part(whole);
    if (!walk.line.empty() && walk.line.back() == '\n') walk.line.remove_suffix(1);
    walk.searchable_end = start + walk.line.size();
  }
  return true;
}

// A mark after its line's first zero byte does not count.
bool counts(const MarkWalk& walk) { return walk.at + kKeyMark.size() <= walk.searchable_end; }

// A data file read block by block, each block whole lines.
struct FileScan {
  int fd = -1;
  LineReader reader;
};

// Returns 1 when the file is open, 0 when it does not exist, -1 with errno set.
int open_scan(const std::string& path, FileScan& scan) {
  scan.fd = open_data_file(path);
  if (scan.fd < 0) return errno == ENOENT ? 0 : -1;
  scan.reader = make_line_reader(scan.fd, path);
  return 1;
}

// got is the last result of next_lines; returns 0 or -1 with errno kept.
int close_scan(FileScan& scan, int got) {
  const int saved = errno;
  ::close(scan.fd);
  errno = saved;
  return got < 0 ? -1 : 0;
}

// Marks the time of the key at the mark at, when it starts with prefix.
void mark_time(std::string_view lines, size_t at, std::string_view prefix,
               std::vector<bool>& times) {
  if (at + kFormatIdLength > lines.size() || lines.compare(at, prefix.size(), prefix) != 0) return;
  const long time = upper_hex_value(lines.substr(at + kTimeAt, kFormatIdLength - kTimeAt));
  if (time >= 0) times[static_cast<size_t>(time)] = true;
}

// One pass over the file at path: the first entry named label_name and, when times is not
// null, the time of every key in the file that starts with prefix. Returns 1 with the key
// in out_key, 0 when no entry has the name, -1 with errno set.
int scan_file(const std::string& path, const std::string& label_name, std::string_view prefix,
              std::vector<bool>* times, std::string& out_key) {
  FileScan scan;
  const int opened = open_scan(path, scan);
  if (opened <= 0) return opened;
  std::string_view lines;
  EntryView entry;
  int got = 0;
  bool found = false;
  while ((!found || times != nullptr) && (got = next_lines(scan.reader, lines)) == 1) {
    for (MarkWalk walk{lines}; (!found || times != nullptr) && next_mark(walk);) {
      if (times != nullptr) mark_time(lines, walk.at, prefix, *times);
      if (!found && walk.first_in_line && counts(walk) && view_entry(walk.line, entry) &&
          entry.name == label_name) {
        found = true;
        out_key = std::string(entry.key);
      }
    }
  }
  if (close_scan(scan, got) != 0) return -1;
  return found ? 1 : 0;
}

}  // namespace

std::string compose_format_id(const FormatRequest& request, ClockReading now) {
  const std::string media = request.tape_media.empty() ? kNoMediaFiller : request.tape_media;
  return std::string(kKeyMark) + media + hex_field(request.label_name.size(), 2) +
         hex_field(static_cast<uint64_t>(request.width_mm), 2) +
         hex_field(static_cast<uint64_t>(request.length_mm), 3) +
         hex_field(static_cast<uint64_t>(now.seconds), 1) +
         hex_field(static_cast<uint64_t>(now.microseconds), 4);
}

std::string format_id_prefix(const FormatRequest& request) {
  return compose_format_id(request, {0, 0}).substr(0, kTimeAt);
}

int compose_unique_format_id(const FormatRequest& request, ClockReading now,
                             const std::vector<bool>& taken, std::string& out_key) {
  for (uint32_t tries = 0; tries < kTimeValues; ++tries, now = one_microsecond_later(now)) {
    if (!taken[time_field(now)]) {
      out_key = compose_format_id(request, now);
      return 0;
    }
  }
  return -1;
}

std::vector<bool> no_key_times() { return std::vector<bool>(kTimeValues); }

bool holds_format_id(std::string_view text) {
  for (size_t at = text.find(kKeyMark); at != std::string_view::npos;
       at = text.find(kKeyMark, at + 1)) {
    if (is_format_id_at(text, at)) return true;
  }
  return false;
}

int find_format_id(const std::string& path, const std::string& label_name, std::string& out_key,
                   const std::string& prefix, std::vector<bool>* taken) {
  return scan_file(path, label_name, prefix, taken, out_key);
}

int read_format_entries(const std::string& path, std::vector<FormatEntry>& entries) {
  FileScan scan;
  const int opened = open_scan(path, scan);
  if (opened <= 0) return opened;
  std::string_view lines;
  EntryView entry;
  int got = 0;
  while ((got = next_lines(scan.reader, lines)) == 1) {
    for (MarkWalk walk{lines}; next_mark(walk);) {
      if (walk.first_in_line && counts(walk) && view_entry(walk.line, entry)) {
        entries.push_back(
            {std::string(entry.key), std::string(entry.name), std::string(entry.rest)});
      }
    }
  }
  return close_scan(scan, got);
}

int find_format_ids(const std::string& path, const std::unordered_set<std::string>& keys,
                    std::unordered_set<std::string>& found) {
  FileScan scan;
  const int opened = open_scan(path, scan);
  if (opened <= 0) return opened;
  std::string_view lines;
  int got = 0;
  while ((got = next_lines(scan.reader, lines)) == 1) {
    for (MarkWalk walk{lines}; next_mark(walk);) {
      if (!counts(walk)) continue;
      const std::string key(
          lines.substr(walk.at, std::min(kFormatIdLength, walk.searchable_end - walk.at)));
      if (keys.count(key) != 0) found.insert(key);
    }
  }
  return close_scan(scan, got);
}

int read_format_ids(const std::string& path, std::vector<std::string>& keys) {
  FileScan scan;
  const int opened = open_scan(path, scan);
  if (opened <= 0) return opened;
  std::string_view lines;
  int got = 0;
  while ((got = next_lines(scan.reader, lines)) == 1) {
    for (MarkWalk walk{lines}; next_mark(walk);) {
      if (walk.first_in_line && counts(walk) && is_format_id_at(lines, walk.at)) {
        keys.emplace_back(lines.substr(walk.at, kFormatIdLength));
      }
    }
  }
  return close_scan(scan, got);
}

int file_holds_text(const std::string& path, const std::string& text) {
  FileScan scan;
  const int opened = open_scan(path, scan);
  if (opened <= 0) return opened;
  std::string_view lines;
  int got = 0;
  bool held = false;
  while (!held && (got = next_lines(scan.reader, lines)) == 1) {
    for (size_t at = lines.find(text); !held && at != std::string_view::npos;
         at = lines.find(text, at + 1)) {
      const std::string_view line = line_around(lines, at);
      held = searchable_part(line).size() >=
             at - static_cast<size_t>(line.data() - lines.data()) + text.size();
    }
  }
  if (close_scan(scan, got) != 0) return -1;
  return held ? 1 : 0;
}
