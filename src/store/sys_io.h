// The system calls the data store makes, retried on EINTR and open to fault injection.
#ifndef VTPAPERTOOL_STORE_SYS_IO_H_
#define VTPAPERTOOL_STORE_SYS_IO_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

#include "store/fault.h"

// Each returns what the system call returns (-1 with errno set on failure), as the system
// does; the store turns a failure into a Fault where it happens. A call interrupted by a
// signal is made again; none of them ever reports EINTR. subject names the file the call
// is about, for the test build's log of calls.
int io_open(const std::string& path, int flags, mode_t mode = 0);
ssize_t io_read(int fd, void* data, size_t size, const std::string& subject);
ssize_t io_pread(int fd, void* data, size_t size, off_t offset, const std::string& subject);
int io_fsync(int fd, const std::string& subject);
int io_fdatasync(int fd, const std::string& subject);
int io_fchmod(int fd, mode_t mode, const std::string& subject);
int io_fchown(int fd, uid_t owner, gid_t group, const std::string& subject);
ssize_t io_copy_file_range(int in, int out, size_t size, const std::string& subject);
int io_lstat(const std::string& path, struct stat& info);
int io_stat(const std::string& path, struct stat& info);
int io_fstat(int fd, struct stat& info, const std::string& subject);
int io_rename(const std::string& from, const std::string& to);
int io_unlink(const std::string& path);

// Closes what file holds, always, and reports a failure the kernel gave while doing so,
// which for a file just written can be the loss of its last bytes.
Fault close_checked(Descriptor& file, const std::string& subject);

// Writes all size bytes, resuming after partial writes; a write that takes nothing is
// ENOSPC.
Fault write_all(int fd, const char* data, size_t size, const std::string& subject);

// Opens the directory at path and syncs it, so that the names changed in it last.
Fault sync_directory(const std::string& path);

// The fault of finding a file of the given mode where a regular file was due: EISDIR for
// a directory, ELOOP for a symbolic link, EINVAL for anything else.
Fault not_regular(mode_t mode, const std::string& subject);

#endif  // VTPAPERTOOL_STORE_SYS_IO_H_
