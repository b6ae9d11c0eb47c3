// The lines a custom format owns in the driver's data files, and the numbers in them.
#ifndef VTPAPERTOOL_STORE_RECORDS_H_
#define VTPAPERTOOL_STORE_RECORDS_H_

#include <cstdint>
#include <string>

#include "front/request.h"

// The line that marks the function file's section of custom formats.
constexpr char kCustomTapeHeader[] = "[CustomTape]";

// Paper-table width and length in dots, before truncation: at 300 dpi less 3 mm and 6 mm
// for roll models, the tape's own dots and 360 dpi for tape models.
double paper_width_dots(const FormatRequest& request);
double paper_length_dots(const FormatRequest& request);

// Whether the width, the length and every number derived from them fit the 32-bit
// fields of the data files and of the sibling tool's command line.
bool width_fits_records(const FormatRequest& request);
bool length_fits_records(const FormatRequest& request);

// The whole millimetres whose roll-model width or length gives the paper table's dots;
// false when none does.
bool roll_width_from_dots(int64_t dots, int64_t& width_mm);
bool roll_length_from_dots(int64_t dots, int64_t& length_mm);

// "<key>/<name>\n", inserted below the function file's header.
std::string function_entry(const std::string& key, const FormatRequest& request);

// "<key>/<name>:\t<width dots>\t<length dots>\n", appended to the paper table.
std::string paper_table_entry(const std::string& key, const FormatRequest& request);

// "<key>\t:\t0.00\t0.00\t<width pt>\t<length pt>\n", appended to the imaging area file.
std::string imaging_area_entry(const std::string& key, const FormatRequest& request);

// The settings line that replaces a deleted format selected as current media.
std::string default_media_line(const FormatRequest& request);

#endif  // VTPAPERTOOL_STORE_RECORDS_H_
