// The system calls the data store makes, retried on EINTR and open to fault injection.
#ifndef VTPAPERTOOL_STORE_SYS_IO_H_
#define VTPAPERTOOL_STORE_SYS_IO_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

// Each returns what the system call returns (-1 with errno set on failure). A call
// interrupted by a signal is made again; none of them ever reports EINTR. subject names
// the file the call is about: the test build logs it, and a failed call leaves it in
// io_failed_subject() for the one line that reports the failure.
int io_open(const std::string& path, int flags, mode_t mode = 0);
ssize_t io_read(int fd, void* data, size_t size, const std::string& subject);
ssize_t io_write(int fd, const void* data, size_t size, const std::string& subject);
int io_fsync(int fd, const std::string& subject);
int io_fchmod(int fd, mode_t mode, const std::string& subject);
int io_fchown(int fd, uid_t owner, gid_t group, const std::string& subject);
ssize_t io_copy_file_range(int in, int out, size_t size, const std::string& subject);
int io_lstat(const std::string& path, struct stat& info);
int io_fstat(int fd, struct stat& info, const std::string& subject);
int io_rename(const std::string& from, const std::string& to);
int io_unlink(const std::string& path);

// Always releases fd; reports a failure the kernel gave while doing so.
int io_close(int fd, const std::string& subject);

// Opens the directory at path and syncs it, so that the names changed in it last.
int io_sync_directory(const std::string& path);

// Writes all size bytes, resuming after partial writes. Returns size, or -1 with errno
// set when a write fails or takes nothing.
ssize_t write_all(int fd, const char* data, size_t size, const std::string& subject);

// Fails as an io_ call about subject would: sets errno to error and returns -1.
int io_fail(int error, const std::string& subject);

// The error that tells what a file of the given mode is, where a regular file was due:
// EISDIR for a directory, ELOOP for a symbolic link, EINVAL for anything else.
int not_regular_error(mode_t mode);

// The subject of the last io_ call that failed. Cleanup after a failure uses plain
// system calls, so that it never overwrites the cause.
const std::string& io_failed_subject();

#endif  // VTPAPERTOOL_STORE_SYS_IO_H_
