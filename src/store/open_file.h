// Finds and opens the files a change reads and writes, so that no link or special file can
// steer what the program reads or where it writes.
#ifndef VTPAPERTOOL_STORE_OPEN_FILE_H_
#define VTPAPERTOOL_STORE_OPEN_FILE_H_

#include <sys/stat.h>

#include <string>

#include "store/change_record.h"
#include "store/fault.h"

// Where the contents of the data file at path live: path itself, or, when it is a symbolic
// link, the file at the end of its chain, as an absolute path without links. A chain is
// followed only when every link in it belongs to root or to the user running the program,
// and no directory on the way (each link's, the target's, and every one walked through
// after the first link) can be written by anyone else, unless it is sticky and the entry
// in it belongs to root or that user, as the kernel's protected_symlinks reasons. Fails
// with ELOOP for a chain that is not followed, or one longer than the kernel follows. A
// target that does not exist is no failure: resolved names it.
Fault resolve_data_file(const std::string& path, std::string& resolved);

// Puts in each file of set the place resolve_data_file finds for it, so that a change reads
// and writes a trusted link's target, and the link stays.
Fault resolve_file_set(FileSet& set);

// Opens a data file for reading without blocking on FIFOs or devices, never through a
// link. Sets file, with the file's status in *info when given; or fails with ELOOP for a
// link, EISDIR or EINVAL for what is not a regular file, or whatever the system said.
Fault open_data_file(const std::string& path, Descriptor& file, struct stat* info = nullptr);

// Creates path afresh for writing, removing whatever had the name, never through a link;
// only its owner may read it until its mode is set.
Fault create_temporary(const std::string& path, Descriptor& file);

#endif  // VTPAPERTOOL_STORE_OPEN_FILE_H_
