// The key that ties a custom format's lines together: its layout, and how it is composed
// and read back.
#ifndef VTPAPERTOOL_FORMATS_KEY_H_
#define VTPAPERTOOL_FORMATS_KEY_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "formats/request.h"
#include "store/fault.h"
#include "store/seam.h"

// "VtL", the media field, the name length, the width's low 8 bits, the length's low 12
// bits, the seconds' low 4 bits and the microseconds' low 16 bits, all upper-case
// hexadecimal: always 25 characters.
constexpr std::string_view kKeyMark = "VtL";
struct KeyField {
  size_t at;
  size_t size;
};
constexpr KeyField kMediaField{3, 10};
constexpr KeyField kNameLengthField{13, 2};
constexpr KeyField kWidthField{15, 2};
constexpr KeyField kLengthField{17, 3};
constexpr KeyField kTimeField{20, 5};
constexpr size_t kKeyLength = 25;
// Reading an entry back takes names of up to 99 bytes, as the driver's own look-up does,
// so that formats another writer entered with names longer than this program's limit
// are still found.
constexpr int64_t kLongestNameInKey = 99;

// Stands in for the tape media field when no media was recorded; it cannot be taken for
// a media name and holds no "VtL".
constexpr char kNoMediaFiller[] = "__________";

std::string compose_key(const FormatRequest& request, ClockReading now);

// The key's first 20 characters: all but the time.
std::string key_prefix(const FormatRequest& request);

// Which key times are taken, by the time field's value. Few are, so only they are held.
using KeyTimes = std::unordered_set<uint32_t>;

// Key times of which none is taken yet.
KeyTimes no_key_times();

// Marks the time of key when it is a whole key that starts with prefix.
void mark_key_time(std::string_view key, std::string_view prefix, KeyTimes& taken);

// compose_key from now on, a microsecond later each time, until the key's time is
// not among the taken ones. Every time value is tried once; fails, naming the format, when
// every one is taken.
Fault compose_unique_key(const FormatRequest& request, ClockReading now, const KeyTimes& taken,
                         std::string& key);

// The clock reading a microsecond after the time the key holds, where the search for the
// next key of its fields may go on.
ClockReading time_after(std::string_view key);

// Whether a whole key starts at offset at: the mark, ten bytes, twelve upper-case digits.
bool is_key_at(std::string_view text, size_t at);

// Whether a label name holds a key, as a delete would find it in the name's own lines.
bool holds_key(std::string_view text);

// The value of the field's hexadecimal digits in text (a key, or the start of an entry),
// or -1 when one of them is not a digit. Upper case only, unless either_case.
int64_t key_field_value(std::string_view text, KeyField field, bool either_case = false);

#endif  // VTPAPERTOOL_FORMATS_KEY_H_
