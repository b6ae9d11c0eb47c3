// Reads the catalogue file that --apply names.
#ifndef VTPAPERTOOL_FRONT_CATALOGUE_H_
#define VTPAPERTOOL_FRONT_CATALOGUE_H_

#include <cstddef>
#include <vector>

#include "formats/request.h"
#include "store/fault.h"

// Far above what a valid line or a fleet's catalogue needs, and small enough that a file
// that never ends is refused in well under a second, in bounded memory.
constexpr size_t kLongestCatalogueLine = 4096;
constexpr size_t kMostCatalogueFormats = 100000;

// Reads request.catalogue_path ("-": standard input) into formats, one copy of request a
// line, its name, width and length scanned as -n, -w and -h scan them (with names_only, its
// name alone, as -d scans it). A line holds the name, a tab, the width, a tab and the
// length, then any further tab-separated fields, which are ignored (with names_only, every
// field after the name is); a carriage return before its line feed is no part of it; a blank line
// and a line whose first other character is "#" are skipped. Stops at the first line that
// would be refused, a name given twice, a line longer than kLongestCatalogueLine or a
// format beyond kMostCatalogueFormats, with the fault's subject "<file>:<line>" and its
// reason naming the format where the line names one; or at a file that cannot be read,
// with the file as the subject.
Fault read_catalogue_file(const FormatRequest& request, bool names_only,
                          std::vector<FormatRequest>& formats);

#endif  // VTPAPERTOOL_FRONT_CATALOGUE_H_
