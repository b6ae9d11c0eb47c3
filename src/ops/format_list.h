// Lists the custom formats a model's data files hold, one line each, for people and
// scripts alike.
#ifndef VTPAPERTOOL_OPS_FORMAT_LIST_H_
#define VTPAPERTOOL_OPS_FORMAT_LIST_H_

#include <string>

#include "formats/on_file.h"
#include "ops/outcome.h"

// A byte below space, or DEL, which could move a terminal's cursor or change its settings.
bool is_control_byte(char c);

// A byte as a backslash and its three octal digits.
std::string octal_escape(char c);

// The name as a line of a listing shows it: a backslash as "\\", a tab as "\t", other
// control bytes as "\ooo", so that no name breaks a line apart or fools a terminal, and
// every escape reads back one way.
std::string escaped_name(const std::string& name);

// One line per format that an entry names: those of the paper table in its order, then
// those only the function file holds, in its order. Tab-separated fields: the name
// (escaped_name); the width and the length in millimetres as the sibling tool was given
// them, or "-" for both without a paper table entry; the key; "current", "incomplete"
// (not whole), both joined by a comma, or "-". Changes nothing.
Outcome list_label_formats(const OnFile& on_file);

#endif  // VTPAPERTOOL_OPS_FORMAT_LIST_H_
