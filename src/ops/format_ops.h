// Adding and deleting custom label formats, each as one change: every new copy of the data
// files is prepared, then the sibling tool is asked, then the change is committed.
#ifndef VTPAPERTOOL_OPS_FORMAT_OPS_H_
#define VTPAPERTOOL_OPS_FORMAT_OPS_H_

#include <string>
#include <vector>

#include "formats/on_file.h"
#include "formats/request.h"
#include "ops/outcome.h"
#include "store/seam.h"
#include "store/transaction.h"

// One format's part of a change: what it becomes, and its steps, first to last.
struct PlannedFormat {
  FormatChange change;
  size_t first_step = 0;
  size_t last_step = 0;
};

// A change's sibling calls, in the order they are made, and the formats they make.
struct Plan {
  std::vector<ChangeStep> steps;
  std::vector<PlannedFormat> formats;
};

// What entering the format under key gives one of the files that hold entries: its
// function entry below every "[CustomTape]" line (refused, naming the file, where there is
// none), or its paper-table or ImagingArea entry at the file's end. An add and --repair
// enter every line with it.
FileChange entering(const FormatRequest& format, const std::string& key, const FileSet& set,
                    DataFile file);

// What the command would make of the format's name: an add, a replace of every format the
// name stands under, or with an empty key a delete (none for a name on no file).
std::vector<FormatChange> planned_changes(const FormatRequest& format, const OnFile& on_file,
                                          bool adding);

// Adds the format's steps to plan as the single commands take them: the delete of its name,
// which drops every format the name stands under and resets the current media; then,
// unless key is empty, its add under key, which enters it in the three files and keeps it
// the current media where a format it replaces was.
void plan_format(const FormatRequest& format, const OnFile& on_file, const std::string& key,
                 Plan& plan);

// A key for the format whose time is not among the taken ones of its key fields (from
// held_key_times), which it then takes.
Fault new_key(const FormatRequest& format, ClockReading now, KeyTimesByPrefix& taken,
              std::string& key);

// The one place a change lives and ends: prepares it, asks the sibling tool for each step
// that has an action, recording each that succeeded before the next starts, and commits the
// steps that took effect, or leaves them recorded for the next run; nothing it prepared
// stays when it returns but what the next run needs. The outcome's changes are the plan's
// formats, made where their steps took effect (a replace whose add was refused after its
// delete went through is a delete). kDone when every step took effect; kFailed when the
// sibling tool refused one or a step's success could not be recorded (notes then says what
// the print system holds that the files do not), the steps before it committed; kFailed
// with nothing changed when nothing could be prepared or committed; kRecorded when the
// change is recorded but not installed, which the next run finishes. A failure before it
// stays in notes.
Outcome make_change(const FileSet& set, const Plan& plan);

// Gives the format a key and makes one change of the delete of its name and its add, as
// plan_format plans them. Only the lock's holder may call it.
Outcome add_label_format(FormatRequest request, const OnFile& on_file);

// Drops every format the name stands under in one change, after the sibling tool deleted
// the name; a name on no file is still deleted by the sibling tool. kNotFound when the
// paper table held no entry of the name (the function file may then have lost one).
Outcome delete_label_format(FormatRequest request, const OnFile& on_file);

#endif  // VTPAPERTOOL_OPS_FORMAT_OPS_H_
