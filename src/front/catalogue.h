// Reads the catalogue file that --apply names.
#ifndef VTPAPERTOOL_FRONT_CATALOGUE_H_
#define VTPAPERTOOL_FRONT_CATALOGUE_H_

#include <string>
#include <vector>

#include "formats/request.h"

// Reads request.catalogue_path ("-": standard input) into formats, one copy of request a
// line, its name, width and length scanned as -n, -w and -h scan them. A line holds the
// name, a tab, the width, a tab and the length, then any further tab-separated fields,
// which are ignored; a carriage return before its line feed is no part of it; a blank
// line is skipped. False with refusal "<file>:<line>: <reason>" for a line that would be
// refused or a name given twice, or "<file>: <reason>" for a file that cannot be read.
bool read_catalogue_file(const FormatRequest& request, std::vector<FormatRequest>& formats,
                         std::string& refusal);

#endif  // VTPAPERTOOL_FRONT_CATALOGUE_H_
