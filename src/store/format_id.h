// The key that ties a custom format's lines together, and the ways to find it again.
#ifndef VTPAPERTOOL_STORE_FORMAT_ID_H_
#define VTPAPERTOOL_STORE_FORMAT_ID_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "front/request.h"
#include "store/seam.h"

constexpr size_t kFormatIdLength = 25;

// Stands in for the tape media field when no media was recorded; it cannot be taken for
// a media name and holds no "VtL".
constexpr char kNoMediaFiller[] = "__________";

// "VtL", the media field, the name length, the width's low 8 bits, the length's low 12
// bits and the clock's low bits, all upper-case hexadecimal: always 25 characters.
std::string compose_format_id(const FormatRequest& request, ClockReading now);

// The key's first 20 characters: all but the time.
std::string format_id_prefix(const FormatRequest& request);

// compose_format_id from now on, a microsecond later each time, until the key's time is
// not among the taken ones (as find_format_id marks them). Returns 0 with the key in
// out_key, or -1 when every time is taken.
int compose_unique_format_id(const FormatRequest& request, ClockReading now,
                             const std::vector<bool>& taken, std::string& out_key);

// Key times of which none is taken yet, for find_format_id to mark.
std::vector<bool> no_key_times();

// Whether a label name holds a key, as a delete would find it in the name's own lines.
bool holds_format_id(std::string_view text);

// A format's entry: the line's first "VtL" starts a key that is followed by a name.
struct FormatEntry {
  std::string key;
  std::string name;
  std::string rest;  // what follows the name, up to the line feed or first zero byte
};

// Looks through the file at path for the first entry whose name is label_name. Returns 1
// with the key in out_key, 0 when there is none or the file does not exist, -1 with errno
// set when the file cannot be opened or read. With taken (from no_key_times), the whole
// file is read and the time of every key in it that starts with prefix (format_id_prefix)
// is marked there.
int find_format_id(const std::string& path, const std::string& label_name, std::string& out_key,
                   const std::string& prefix = "", std::vector<bool>* taken = nullptr);

// Every entry of the file at path, in file order. Returns 0, or -1 with errno set; a
// missing file has none.
int read_format_entries(const std::string& path, std::vector<FormatEntry>& entries);

// Adds to found each of keys that some line of the file at path holds. Returns 0, or -1
// with errno set; a missing file holds none.
int find_format_ids(const std::string& path, const std::unordered_set<std::string>& keys,
                    std::unordered_set<std::string>& found);

// The key that starts at the first key mark of each line, where a whole key does, in file
// order. Returns 0, or -1 with errno set; a missing file has none.
int read_format_ids(const std::string& path, std::vector<std::string>& keys);

// Whether some line of the file at path holds text before its first zero byte: 1 or 0
// (also for a missing file), or -1 with errno set.
int file_holds_text(const std::string& path, const std::string& text);

#endif  // VTPAPERTOOL_STORE_FORMAT_ID_H_
