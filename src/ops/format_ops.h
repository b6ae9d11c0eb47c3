// Adding and deleting a custom label format: the sibling tool first, then the data files,
// which change all together or not at all.
#ifndef VTPAPERTOOL_OPS_FORMAT_OPS_H_
#define VTPAPERTOOL_OPS_FORMAT_OPS_H_

#include "front/request.h"

// Results of both operations.
constexpr int kDone = 0;
constexpr int kNotFound = 1;
constexpr int kDataFileFailed = -1;
constexpr int kSiblingFailed = -2;
constexpr int kInstallFailed = -3;

// Gives the format a key that no line of the function file or paper table holds yet,
// registers it with the sibling tool under that key, then enters it below the function
// file's "[CustomTape]" line and at the end of the paper table and imaging area files.
// Returns kDone; kSiblingFailed with no data file touched; kDataFileFailed with errno
// set and no data file touched; or kInstallFailed with errno set when the change was
// committed but not finished, which the next run does. Only the lock's holder may call it.
int add_label_format(FormatRequest request);

// Asks the sibling tool to delete the format and looks its key up by name in the function
// file and in the paper table. Found in the function file, its entry there goes; found in
// the paper table, its lines there and in the imaging area file go too, and the current
// media is reset if it was the format (the function file's lines go by the paper table's
// key when only that file has the name). Returns kDone; kNotFound when the paper table
// has no entry (the function file may then have lost one); kSiblingFailed or
// kDataFileFailed with no data file touched; or kInstallFailed as add_label_format.
int delete_label_format(FormatRequest request);

#endif  // VTPAPERTOOL_OPS_FORMAT_OPS_H_
