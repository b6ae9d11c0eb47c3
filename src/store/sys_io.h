// The system calls the data store makes, retried on EINTR and open to fault injection.
#ifndef VTPAPERTOOL_STORE_SYS_IO_H_
#define VTPAPERTOOL_STORE_SYS_IO_H_

#include <sys/types.h>

#include <cstddef>

// Each returns what the system call returns (-1 with errno set on failure). A call
// interrupted by a signal is made again; none of them ever reports EINTR.
int io_open(const char* path, int flags, mode_t mode = 0);
ssize_t io_read(int fd, void* data, size_t size);
ssize_t io_write(int fd, const void* data, size_t size);
int io_fsync(int fd);
int io_fchmod(int fd, mode_t mode);
int io_rename(const char* from, const char* to);
int io_unlink(const char* path);

// Always releases fd; reports a failure the kernel gave while doing so.
int io_close(int fd);

// Writes all size bytes, resuming after partial writes. Returns size, or -1 with errno
// set when a write fails or takes nothing.
ssize_t write_all(int fd, const char* data, size_t size);

#endif  // VTPAPERTOOL_STORE_SYS_IO_H_
