// Lists the custom formats a model's data files hold, one line each, for people and
// scripts alike.
#ifndef VTPAPERTOOL_OPS_FORMAT_LIST_H_
#define VTPAPERTOOL_OPS_FORMAT_LIST_H_

#include <string>

#include "formats/request.h"
#include "ops/outcome.h"

// The name as a line of a listing shows it: a backslash as "\\", a tab as "\t", other
// control bytes as "\ooo", so that no name breaks a line apart or fools a terminal, and
// every escape reads back one way.
std::string escaped_name(const std::string& name);

// One line per format: every entry of the paper table in its order, then every format
// that only the function file holds, in its order. Tab-separated fields: the name
// (escaped_name); the width and the length in millimetres as the sibling tool was given
// them, or "-" for both without a paper table entry; the key; "current", "incomplete",
// both joined by a comma, or "-". Missing data files count as empty; no file is changed.
// Gives kDone with the lines as output, or kDataFileFailed.
Outcome list_label_formats(FormatRequest request);

#endif  // VTPAPERTOOL_OPS_FORMAT_LIST_H_
