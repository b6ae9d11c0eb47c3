// Checks a model's custom formats across its data files, and mends what can be mended
// without guessing, as pwck and grpck do for the account files.
#ifndef VTPAPERTOOL_OPS_FORMAT_CHECK_H_
#define VTPAPERTOOL_OPS_FORMAT_CHECK_H_

#include <string>

#include "formats/request.h"
#include "store/fault.h"

// One line per problem, tab-separated: the key (or "-"), the name as --list shows it (or
// "-"), and what is wrong: a format missing from the function file, the paper table or
// ImagingArea; a key on two or more entries of one file; a current-media line naming a
// key that no whole format has; a function file without its "[CustomTape]" line; a
// missing data file. No file is changed. Returns kDone with the lines in report (none
// when all is whole), or kDataFileFailed with fault set.
int check_label_formats(FormatRequest request, std::string& report, Fault& fault);

// One all-or-nothing change that drops every line of each format that is not whole from
// every data file and resets a current-media line naming no whole format to the model's
// default media line; every other line stays byte for byte. Duplicate keys and a missing
// "[CustomTape]" line are reported, not mended. Writes one line per thing mended or left,
// as check_label_formats does, into report; nothing to mend changes nothing. Returns
// kDone, or kDataFileFailed or kInstallFailed with fault set (a missing data file
// fails: what to drop cannot be judged without it); on kDataFileFailed no file changed.
int repair_label_formats(FormatRequest request, std::string& report, Fault& fault);

#endif  // VTPAPERTOOL_OPS_FORMAT_CHECK_H_
