// The one walk over a data file's key marks that look-up, listing, key uniqueness and
// checking share, and what each of them gathers on it.
#ifndef VTPAPERTOOL_FORMATS_ENTRY_WALK_H_
#define VTPAPERTOOL_FORMATS_ENTRY_WALK_H_

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "formats/entries.h"
#include "formats/key.h"
#include "store/fault.h"
#include "store/lines.h"

// A "VtL" before the first zero byte of its line, where the line's substring tests see it.
struct KeyMark {
  std::string_view line;  // up to its first zero byte, without its line feed
  size_t at = 0;          // where the mark starts in line
  bool first_in_line = false;
  bool whole_line = true;  // false when a zero byte ends line before the line feed
};

// A data file read block by block, mark by mark. A missing file has no marks.
struct EntryWalk {
  Descriptor file;
  LineReader reader;
  std::string_view lines;
  size_t from = 0;      // where the search for the next mark goes on in lines
  size_t line_end = 0;  // one past the current line in lines
  KeyMark mark;
};

Fault start_walk(const std::string& path, EntryWalk& walk);

// Appends key to keys unless it is there already.
void add_key_once(const std::string& key, std::vector<std::string>& keys);

// Moves to the next mark. False at the end of the file, or with walk.reader.fault set
// when a read failed.
bool next_mark(EntryWalk& walk);

// Adds to keys, in file order and each once, the key of every entry of the file at path
// whose name is label_name: a name may stand under more than one format. With taken, the
// time of every key in the file that starts with prefix (key_prefix) is marked too.
Fault find_keys_named(const std::string& path, const std::string& label_name,
                      std::vector<std::string>& keys, const std::string& prefix = "",
                      KeyTimes* taken = nullptr);

// Every entry of the file at path, in file order.
Fault read_format_entries(const std::string& path, std::vector<FormatEntry>& entries);

// Adds to found each of keys that some line of the file at path holds.
Fault find_held_keys(const std::string& path, const std::unordered_set<std::string>& keys,
                     std::unordered_set<std::string>& found);

// A line that holds more than one entry, where a lost line feed joined them: no entry
// holds a whole key after its start, so each one there starts another entry.
struct JoinedLine {
  std::string text;          // without its line feed
  std::vector<size_t> cuts;  // where each whole key after the line's start begins
};

// Every line of the file at path that holds a whole key after its start, and no zero
// byte that could hide what the line holds, in file order.
Fault read_joined_lines(const std::string& path, std::vector<JoinedLine>& lines);

// For each line whose first mark starts a whole key, in file order: the key, and in rest
// what follows it up to the line feed or the first zero byte (name stays empty).
Fault read_key_lines(const std::string& path, std::vector<FormatEntry>& lines);

// The key that starts at the first mark of each line, where a whole key does, in file
// order.
Fault read_line_keys(const std::string& path, std::vector<std::string>& keys);

#endif  // VTPAPERTOOL_FORMATS_ENTRY_WALK_H_
