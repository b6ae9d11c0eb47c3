// Adding and deleting a custom label format, each as one change: every new copy of the
// data files is prepared, then the sibling tool is asked, then the change is committed.
#ifndef VTPAPERTOOL_OPS_FORMAT_OPS_H_
#define VTPAPERTOOL_OPS_FORMAT_OPS_H_

#include <vector>

#include "formats/key.h"
#include "formats/request.h"
#include "ops/outcome.h"
#include "store/fault.h"
#include "store/transaction.h"

// Every key under which the look-ups found a name: a name may stand under more than one
// format when the files were edited by hand or by another program.
struct FoundFormat {
  std::vector<std::string> keys;  // the function file's, then the paper table's
  bool in_paper_table = false;
};

// Looks the request's name up in the function file and the paper table. With taken, the
// look-ups also mark the times of the keys that a new key for the request could collide
// with, so that composing it reads no file again.
Fault look_up(const FormatRequest& request, const FileSet& set, FoundFormat& found,
              KeyTimes* taken);

// The sibling tool's calls in the order they are made, each with what the files gain and
// lose once it succeeded: the name's delete, dropping every format the name stands under
// and resetting the current media; then, with a key, the new format's add, entering it
// below "[CustomTape]" and at the end of the paper table and ImagingArea, and keeping it
// the current media where a format it replaces was.
std::vector<ChangeStep> steps_for(const FormatRequest& request, const FileSet& set,
                                  const FoundFormat& found, const std::string& key);

// Looks the name up in the function file and the paper table, gives the format a key that
// no line of either holds, and prepares copies that drop a format of that name as
// delete_label_format would and enter the new one below the function file's
// "[CustomTape]" line and at the end of the paper table and imaging area files. Then asks
// the sibling tool to delete the name and to add the format, and commits. Gives kDone;
// kDataFileFailed (a format of the name was on file) or kEntryFailed (none was), no data
// file touched and the sibling tool not asked; kSiblingFailed when the sibling tool's
// delete failed (nothing changed) or its add did (then the old format is dropped from the
// files too, as it is gone from the print system); or as make_change. Only the lock's
// holder may call it.
Outcome add_label_format(FormatRequest request);

// Looks the name up in the function file and in the paper table, prepares copies without
// the lines of every format the name stands under (and with the current media reset if it
// was one of them), asks the sibling tool to delete the name, and commits. A name on no
// file is still deleted by the sibling tool. Gives kDone; kNotFound when the paper table
// has no entry (the function file may then have lost one); kSiblingFailed or
// kDataFileFailed with no data file touched; or as make_change.
Outcome delete_label_format(FormatRequest request);

// The one place a change lives and ends: prepares it, asks the sibling tool for each step
// that has an action, recording each that succeeded before the next starts, and commits
// the steps that took effect, or leaves them recorded for the next run; nothing it
// prepared stays when it returns but what the next run needs. Gives kDone when every step took
// effect; kSiblingFailed when the sibling tool refused one (the steps before it are
// committed); not_prepared when nothing could be prepared or committed and nothing
// changed; kDataFileFailed when a step's success could not be recorded (the steps up to
// it are committed, none after it is asked for); or kInstallFailed when the change is
// recorded but not committed or installed, which the next run finishes.
Outcome make_change(const FormatRequest& request, Change& change, Result not_prepared);

#endif  // VTPAPERTOOL_OPS_FORMAT_OPS_H_
