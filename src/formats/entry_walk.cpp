#include "formats/entry_walk.h"

#include <algorithm>
#include <cerrno>

#include "store/open_file.h"
#include "store/seam.h"

namespace {

// The line around the mark at offset at of walk.lines becomes the current one.
void enter_line(EntryWalk& walk, size_t at) {
  const std::string_view whole = line_around(walk.lines, at);
  const size_t start = static_cast<size_t>(whole.data() - walk.lines.data());
  walk.line_end = start + whole.size();
  walk.mark.line = searchable_part(whole);
  walk.mark.whole_line = walk.mark.line.size() == whole.size();
  if (!walk.mark.line.empty() && walk.mark.line.back() == '\n') walk.mark.line.remove_suffix(1);
}

// The next mark in the lines at hand, counted or not.
bool next_mark_in_lines(EntryWalk& walk) {
  const size_t at = find_text(walk.lines, kKeyMark, walk.from);
  if (at == std::string_view::npos) return false;
  walk.from = at + 1;
  walk.mark.first_in_line = at >= walk.line_end;
  if (walk.mark.first_in_line) enter_line(walk, at);
  walk.mark.at = at - static_cast<size_t>(walk.mark.line.data() - walk.lines.data());
  return true;
}

// A search for the name passes over the lines that cannot hold its entry at memory speed,
// where a walk stops at every mark. The name must not be empty.
Fault find_entries_named(EntryWalk& walk, const std::string& label_name,
                         std::vector<std::string>& keys) {
  const std::string& needle = label_name;
  FormatEntry entry;
  for (std::string_view lines; next_lines(walk.reader, lines);) {
    for (size_t at = find_text(lines, needle, 0); at != std::string_view::npos;) {
      const std::string_view whole = line_around(lines, at);
      std::string_view line = searchable_part(whole);
      if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
      const size_t mark = line.find(kKeyMark);
      if (mark != std::string_view::npos && read_entry(line, mark, entry) &&
          entry.name == label_name) {
        add_key_once(entry.key, keys);
      }
      at =
          find_text(lines, needle, static_cast<size_t>(whole.data() - lines.data()) + whole.size());
    }
  }
  return walk.reader.fault;
}

}  // namespace

void add_key_once(const std::string& key, std::vector<std::string>& keys) {
  if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
}

Fault start_walk(const std::string& path, EntryWalk& walk) {
  const Fault fault = open_data_file(path, walk.file);
  if (fault.error == ENOENT) return {};
  if (failed(fault)) return fault;
  walk.reader = make_line_reader(walk.file.fd, path, line_block_size());
  return {};
}

// A mark after its line's first zero byte does not count: the first that counts is the
// line's first mark for every reader.
bool next_mark(EntryWalk& walk) {
  while (walk.file.fd >= 0) {
    while (next_mark_in_lines(walk)) {
      if (walk.mark.at + kKeyMark.size() > walk.mark.line.size()) continue;
      return true;
    }
    if (!next_lines(walk.reader, walk.lines)) return false;
    walk.from = 0;
    walk.line_end = 0;
  }
  return false;
}

Fault find_keys_named(const std::string& path, const std::string& label_name,
                      std::vector<std::string>& keys, const std::string& prefix, KeyTimes* taken) {
  EntryWalk walk;
  const Fault fault = start_walk(path, walk);
  if (failed(fault) || walk.file.fd < 0) return fault;
  if (taken == nullptr && !label_name.empty()) return find_entries_named(walk, label_name, keys);
  FormatEntry entry;
  while (next_mark(walk)) {
    const KeyMark& mark = walk.mark;
    if (taken != nullptr) mark_key_time(mark.line.substr(mark.at), prefix, *taken);
    if (mark.first_in_line && read_entry(mark.line, mark.at, entry) && entry.name == label_name) {
      add_key_once(entry.key, keys);
    }
  }
  return walk.reader.fault;
}

Fault read_format_entries(const std::string& path, std::vector<FormatEntry>& entries) {
  EntryWalk walk;
  const Fault fault = start_walk(path, walk);
  FormatEntry entry;
  while (!failed(fault) && next_mark(walk)) {
    if (walk.mark.first_in_line && read_entry(walk.mark.line, walk.mark.at, entry)) {
      entries.push_back(entry);
    }
  }
  return failed(fault) ? fault : walk.reader.fault;
}

Fault find_held_keys(const std::string& path, const std::unordered_set<std::string>& keys,
                     std::unordered_set<std::string>& found) {
  EntryWalk walk;
  const Fault fault = start_walk(path, walk);
  while (!failed(fault) && next_mark(walk)) {
    const std::string key(walk.mark.line.substr(walk.mark.at, kKeyLength));
    if (keys.count(key) != 0) found.insert(key);
  }
  return failed(fault) ? fault : walk.reader.fault;
}

Fault read_joined_lines(const std::string& path, std::vector<JoinedLine>& lines) {
  EntryWalk walk;
  const Fault fault = start_walk(path, walk);
  bool line_taken = false;
  while (!failed(fault) && next_mark(walk)) {
    const KeyMark& mark = walk.mark;
    if (mark.first_in_line) line_taken = false;
    if (mark.at == 0 || !mark.whole_line || !is_key_at(mark.line, mark.at)) continue;
    if (!line_taken) lines.push_back({std::string(mark.line), {}});
    line_taken = true;
    lines.back().cuts.push_back(mark.at);
  }
  return failed(fault) ? fault : walk.reader.fault;
}

Fault read_key_lines(const std::string& path, std::vector<FormatEntry>& lines) {
  EntryWalk walk;
  const Fault fault = start_walk(path, walk);
  while (!failed(fault) && next_mark(walk)) {
    const KeyMark& mark = walk.mark;
    if (!mark.first_in_line || !is_key_at(mark.line, mark.at)) continue;
    lines.push_back({std::string(mark.line.substr(mark.at, kKeyLength)), "",
                     std::string(mark.line.substr(mark.at + kKeyLength))});
  }
  return failed(fault) ? fault : walk.reader.fault;
}

Fault read_line_keys(const std::string& path, std::vector<std::string>& keys) {
  EntryWalk walk;
  const Fault fault = start_walk(path, walk);
  while (!failed(fault) && next_mark(walk)) {
    if (walk.mark.first_in_line && is_key_at(walk.mark.line, walk.mark.at)) {
      keys.emplace_back(walk.mark.line.substr(walk.mark.at, kKeyLength));
    }
  }
  return failed(fault) ? fault : walk.reader.fault;
}
