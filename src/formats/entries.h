// The lines a custom format owns in the driver's data files, written and read back in one
// place, and the numbers in them.
#ifndef VTPAPERTOOL_FORMATS_ENTRIES_H_
#define VTPAPERTOOL_FORMATS_ENTRIES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/request.h"

// Roll labels lose this much of their width and length to the printer's margins, in mm.
constexpr int64_t kRollWidthMargin = 3;
constexpr int64_t kRollLengthMargin = 6;

// The line that marks the function file's section of custom formats.
constexpr char kCustomTapeHeader[] = "[CustomTape]";

// Whether the width, the length and every number derived from them fit the 32-bit
// fields of the data files and of the sibling tool's command line.
bool width_fits_records(const FormatRequest& request);
bool length_fits_records(const FormatRequest& request);

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

// The format's width and length in millimetres as the sibling tool was given them: from
// the key on tape models, worked back from the paper table's dots on roll models. False
// when the entry does not tell them.
bool entry_size(const FormatRequest& request, const FormatEntry& entry, int64_t& width_mm,
                int64_t& length_mm);

// The width that, given to -w with the entry's name, fits to the same tape and dots: for a
// width trimmed to a tape, the tape's own width. False when the entry does not tell it.
bool width_to_ask(const FormatRequest& request, const FormatEntry& entry, int64_t& width_mm);

// Sets request's sizes and dots (its model kept, label_name set to the entry's name) to
// those the entry stands for: on tape models the width dots it holds and the key's sizes,
// on roll models the sizes its dots give back exactly. False when it does not tell them.
bool request_from_paper_entry(const FormatEntry& entry, FormatRequest& request);

// Sets a tape request's sizes and dots from the key's fields and the tape table, with
// label_name already set: false unless they give back the key's first 20 characters.
bool request_from_tape_key(const std::string& key, FormatRequest& request);

#endif  // VTPAPERTOOL_FORMATS_ENTRIES_H_
