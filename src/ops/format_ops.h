// Adding and deleting a custom label format: the sibling tool first, then the data files.
#ifndef VTPAPERTOOL_OPS_FORMAT_OPS_H_
#define VTPAPERTOOL_OPS_FORMAT_OPS_H_

#include "front/request.h"

// Results of both operations.
constexpr int kDone = 0;
constexpr int kNotFound = 1;
constexpr int kDataFileFailed = -1;
constexpr int kSiblingFailed = -2;

// Registers the format with the sibling tool under a new key, then enters it below the
// function file's "[CustomTape]" line and at the end of the paper table and imaging
// area files. Returns kDone; kSiblingFailed with no data file touched; or
// kDataFileFailed with errno set, the files before the failing one already updated.
int add_label_format(FormatRequest request);

// Asks the sibling tool to delete the format, looks its key up by name in the function
// file and again in the paper table, removes its lines there and in the imaging area
// file and resets the current media if it was selected. Returns kDone; kNotFound when
// either lookup finds no entry (the function file may then have lost its entry);
// kSiblingFailed with no data file touched; or kDataFileFailed with errno set.
int delete_label_format(FormatRequest request);

#endif  // VTPAPERTOOL_OPS_FORMAT_OPS_H_
