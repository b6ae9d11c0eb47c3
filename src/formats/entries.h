// The lines a custom format owns in the driver's data files, written and read back in one
// place, and the numbers in them.
#ifndef VTPAPERTOOL_FORMATS_ENTRIES_H_
#define VTPAPERTOOL_FORMATS_ENTRIES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/request.h"
#include "store/fault.h"

// Roll labels lose this much of their width and length to the printer's margins, in mm.
constexpr int64_t kRollWidthMargin = 3;
constexpr int64_t kRollLengthMargin = 6;

// The line that marks the function file's section of custom formats.
constexpr char kCustomTapeHeader[] = "[CustomTape]";

// Whether the width, the length and every number derived from them fit the 32-bit
// fields of the data files and of the sibling tool's command line. A heat-shrink tube too
// wide for any tape has 0 dots, so only the key's two digits hold its width: above 255 mm
// no file would hold it whole.
bool width_fits_records(const FormatRequest& request);
bool length_fits_records(const FormatRequest& request);

// Fits the width to what the model prints, as -w does: to a tape on tape models. Fails
// with the reason for a width no tape takes, a roll narrower than its margins, or a width
// the data files cannot hold.
Fault fit_width(FormatRequest& request);

// Holds the length within a tape's limits, as -h does. Fails with the reason for a roll
// shorter than its margins or a length the data files cannot hold.
Fault fit_length(FormatRequest& request);

// Fails, saying why, for a name that cannot stand for a format in the data files: empty,
// longer than kLongestLabelName, or holding a line break, a zero byte, "[CustomTape]" or
// a key.
Fault label_name_refusal(const std::string& name);

// Fails, saying why, unless the name, width_to_ask and the length, given to -n, -w and -h
// in that order (as a catalogue line gives them), make the same key fields and entries as
// request.
Fault catalogue_refusal(const FormatRequest& request);

// "<key>/<name>\n", inserted below the function file's header.
std::string function_entry(const std::string& key, const FormatRequest& request);

// "<key>/<name>:\t<width dots>\t<length dots>\n", appended to the paper table.
std::string paper_table_entry(const std::string& key, const FormatRequest& request);

// "<key>\t:\t0.00\t0.00\t<width pt>\t<length pt>\n", appended to the imaging area file.
std::string imaging_area_entry(const std::string& key, const FormatRequest& request);

// The settings line that replaces a deleted format selected as current media.
std::string default_media_line(const FormatRequest& request);

// A format's entry: the line's first "VtL" starts a key that is followed by a name.
struct FormatEntry {
  std::string key;
  std::string name;
  std::string rest;  // what follows the name, up to the line feed or first zero byte
};

// Reads the entry that starts at the key mark at offset mark of line (the line without
// its line feed, up to its first zero byte): the name length in the key (either case),
// the name after the key and one more byte. False when the line holds no such entry.
bool read_entry(std::string_view line, size_t mark, FormatEntry& entry);

// The two numbers after a paper-table entry's name: ":\t<width dots>\t<length dots>".
bool read_paper_dots(std::string_view rest, int64_t& width_dots, int64_t& length_dots);

// The whole millimetres whose roll dots, less the margin, are dots; false when none are.
bool roll_millimetres(int64_t dots, int64_t margin, int64_t& millimetres);

// The whole millimetres whose points an ImagingArea line's last field holds, as rest (what
// follows the key) gives them; false when none give exactly that text.
bool length_from_imaging(std::string_view rest, int64_t& length_mm);

// The width that, given to -w with the request's name, fits to the same tape and dots: for
// a width trimmed to a tape, the tape's own width; otherwise the width itself.
int64_t width_to_ask(const FormatRequest& request);

#endif  // VTPAPERTOOL_FORMATS_ENTRIES_H_
