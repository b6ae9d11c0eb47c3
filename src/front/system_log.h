// Tells the system log what each command changed, for the administrators of many print
// servers who must later find out who changed which format when.
#ifndef VTPAPERTOOL_FRONT_SYSTEM_LOG_H_
#define VTPAPERTOOL_FRONT_SYSTEM_LOG_H_

#include <string>

#include "formats/request.h"
#include "ops/executor.h"
#include "ops/outcome.h"

// One line per format the command added, replaced or deleted, with its key, the model, the
// command and the user (and the user sudo ran it for); one for a repair that changed the
// files; and one for each failure that leaves a record for the next run or the print
// system holding more than the files. A dry run logs nothing.
void log_outcome(const std::string& program, Command command, const FormatRequest& request,
                 const Outcome& outcome);

// Whether the command changed the data files: a format made, or a repair that mended.
bool changed_the_files(Command command, const FormatRequest& request, const Outcome& outcome);

#endif  // VTPAPERTOOL_FRONT_SYSTEM_LOG_H_
