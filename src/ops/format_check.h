// Checks a model's custom formats across its data files, and mends what can be mended
// without guessing, as pwck and grpck do for the account files.
#ifndef VTPAPERTOOL_OPS_FORMAT_CHECK_H_
#define VTPAPERTOOL_OPS_FORMAT_CHECK_H_

#include <string>

#include "formats/request.h"
#include "ops/outcome.h"

// One line per problem, tab-separated: the key (or "-"), the name as --list shows it (or
// "-"), and what is wrong: a format missing from the function file, the paper table or
// ImagingArea; a key on two or more entries of one file; a current-media line naming a
// key that no whole format has; a function file without its "[CustomTape]" line; a
// missing data file; a name of two formats; an entry joined to another line. No file is
// changed. Gives kDone with the lines as output (none when all is whole), or
// kDataFileFailed.
Outcome check_label_formats(FormatRequest request);

// One all-or-nothing change that splits joined lines, rebuilds every line a format's key
// and other lines determine, drops every line of each format still not whole, and resets
// a current-media line naming no whole format to the model's default media line; every
// other line stays byte for byte. Duplicate keys, names of two formats and a missing
// "[CustomTape]" line are reported, not mended. Its output is one line per thing mended or
// left, as check_label_formats writes them; nothing to mend changes nothing, and with
// request.dry_run nothing changes at all. Gives kDone, kNotMended when something was left
// for a person, or kDataFileFailed (no file changed; a missing data file fails, since
// what to drop cannot be judged without it) or kInstallFailed.
Outcome repair_label_formats(FormatRequest request);

#endif  // VTPAPERTOOL_OPS_FORMAT_CHECK_H_
