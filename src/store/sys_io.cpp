#include "store/sys_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "store/seam.h"

namespace {

// A fault stands in for the call it replaces, which is then not made; a call interrupted
// by a signal was not refused, and is made again.
template <typename Call>
auto retried(const char* name, const std::string& subject, Call call) -> decltype(call()) {
  for (;;) {
    const int fault = injected_fault(name, subject);
    errno = fault;
    const auto result = fault == 0 ? call() : -1;
    if (result != -1 || errno != EINTR) return result;
  }
}

}  // namespace

int io_open(const std::string& path, int flags, mode_t mode) {
  return retried("open", path, [&] { return ::open(path.c_str(), flags, mode); });
}

ssize_t io_read(int fd, void* data, size_t size, const std::string& subject) {
  return retried("read", subject, [&] { return ::read(fd, data, size); });
}

ssize_t io_pread(int fd, void* data, size_t size, off_t offset, const std::string& subject) {
  return retried("pread", subject, [&] { return ::pread(fd, data, size, offset); });
}

int io_fsync(int fd, const std::string& subject) {
  return retried("fsync", subject, [&] { return ::fsync(fd); });
}

int io_fdatasync(int fd, const std::string& subject) {
  return retried("fdatasync", subject, [&] { return ::fdatasync(fd); });
}

int io_fchmod(int fd, mode_t mode, const std::string& subject) {
  return retried("fchmod", subject, [&] { return ::fchmod(fd, mode); });
}

int io_fchown(int fd, uid_t owner, gid_t group, const std::string& subject) {
  return retried("fchown", subject, [&] { return ::fchown(fd, owner, group); });
}

ssize_t io_copy_file_range(int in, int out, size_t size, const std::string& subject) {
  return retried("copy", subject,
                 [&] { return ::copy_file_range(in, nullptr, out, nullptr, size, 0); });
}

int io_lstat(const std::string& path, struct stat& info) {
  return retried("lstat", path, [&] { return ::lstat(path.c_str(), &info); });
}

int io_stat(const std::string& path, struct stat& info) {
  return retried("stat", path, [&] { return ::stat(path.c_str(), &info); });
}

int io_fstat(int fd, struct stat& info, const std::string& subject) {
  return retried("fstat", subject, [&] { return ::fstat(fd, &info); });
}

int io_rename(const std::string& from, const std::string& to) {
  return retried("rename", to, [&] { return std::rename(from.c_str(), to.c_str()); });
}

int io_unlink(const std::string& path) {
  return retried("unlink", path, [&] { return ::unlink(path.c_str()); });
}

Fault close_checked(Descriptor& file, const std::string& subject) {
  const int fault = injected_fault("close", subject);
  // Linux releases the descriptor even when close reports EINTR, so it is not retried.
  if (::close(file.release()) == -1 && errno != EINTR) return fault_from_errno(subject);
  if (fault != 0 && fault != EINTR) return {fault, subject, ""};
  return {};
}

Fault write_all(int fd, const char* data, size_t size, const std::string& subject) {
  for (size_t done = 0; done < size;) {
    const ssize_t written =
        retried("write", subject, [&] { return ::write(fd, data + done, size - done); });
    if (written < 0) return fault_from_errno(subject);
    if (written == 0) return {ENOSPC, subject, ""};
    done += static_cast<size_t>(written);
  }
  return {};
}

Fault sync_directory(const std::string& path) {
  Descriptor directory(io_open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.fd < 0 || io_fsync(directory.fd, path) != 0) return fault_from_errno(path);
  return {};
}

Fault not_regular(mode_t mode, const std::string& subject) {
  if (S_ISDIR(mode)) return {EISDIR, subject, ""};
  return {S_ISLNK(mode) ? ELOOP : EINVAL, subject, ""};
}
