// Opens the files a change reads and writes, so that no link or special file can steer
// what the program reads or where it writes.
#ifndef VTPAPERTOOL_STORE_OPEN_FILE_H_
#define VTPAPERTOOL_STORE_OPEN_FILE_H_

#include <sys/stat.h>

#include <string>

#include "store/fault.h"

// Opens a data file for reading without blocking on FIFOs or devices. A symbolic link is
// followed only when it, every link it leads through, and each directory holding one of
// them belong to root or to the user running the program. Sets file, with the file's
// status in *info when given; or fails with ELOOP for anyone else's link, EISDIR or
// EINVAL for what is not a regular file, or whatever the system said.
Fault open_data_file(const std::string& path, Descriptor& file, struct stat* info = nullptr);

// Creates path afresh for writing, removing whatever had the name, never through a link;
// only its owner may read it until its mode is set.
Fault create_temporary(const std::string& path, Descriptor& file);

#endif  // VTPAPERTOOL_STORE_OPEN_FILE_H_
