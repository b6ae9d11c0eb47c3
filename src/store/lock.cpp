#include "store/lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "store/paths.h"

int lock_data_directory(const std::string& model_id) {
  const int fd = ::open(data_directory(model_id).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  int locked = 0;
  do {
    locked = ::flock(fd, LOCK_EX);
  } while (locked == -1 && errno == EINTR);
  if (locked == 0) return fd;
  const int cause = errno;
  ::close(fd);
  errno = cause;
  return -1;
}

void remove_stale_temporaries(const std::string& model_id) {
  for (const std::string& path : {function_file_path(model_id), paper_table_path(model_id),
                                  settings_file_path(model_id), imaging_area_path(model_id)}) {
    ::unlink(temporary_path(path).c_str());
  }
}

void unlock_data_directory(int lock_fd) {
  if (lock_fd >= 0) ::close(lock_fd);
}
