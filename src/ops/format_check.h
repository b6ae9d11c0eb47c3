// Checks a model's custom formats across its data files, and mends what can be mended
// without guessing, as pwck and grpck do for the account files.
#ifndef VTPAPERTOOL_OPS_FORMAT_CHECK_H_
#define VTPAPERTOOL_OPS_FORMAT_CHECK_H_

#include "formats/on_file.h"
#include "ops/outcome.h"

// One line per problem, tab-separated: the key (or "-"), the name as --list shows it (or
// "-"), and what is wrong: a missing data file; a function file without its "[CustomTape]"
// line; a file whose lines end some in CR LF and some in LF; a format missing from the
// function file, the paper table or ImagingArea; an entry that is not what the format's
// key and name give (cut short, or other numbers); a key that gives no format of the
// model; an entry joined to another line; a key on two or more entries of one file; a
// name of two formats; a current-media line naming a key that no whole format has. No file
// is changed. kProblems with the lines as output when there are any.
Outcome check_label_formats(const OnFile& on_file);

// One all-or-nothing change that splits joined lines, enters every entry a format lacks
// and puts right every entry that is not what its key and name give, with the code an add
// enters lines with; drops the lines of a format that no entry names; and resets a
// current-media line naming no format to the model's default media line. Every other line
// stays byte for byte. A format it cannot mend (a file it needs missing or without its
// "[CustomTape]" line, a key on two entries of a file, a key that gives no format) keeps
// every line it has, and is reported as not mended, as are names of two formats. Its
// output is one line per thing mended or left, as check_label_formats writes them;
// nothing to mend changes nothing, and with request.dry_run nothing changes at all.
// kProblems when something was left for a person, or as make_change gives.
Outcome repair_label_formats(FormatRequest request, const OnFile& on_file);

#endif  // VTPAPERTOOL_OPS_FORMAT_CHECK_H_
