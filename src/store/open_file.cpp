#include "store/open_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "store/sys_io.h"

namespace {

// As many links as the kernel itself follows in one path.
constexpr int kMostLinks = 40;

// Whose links, and whose directories holding them, may steer where the program reads: the
// rule the kernel applies in sticky directories, so that nobody can make root read a
// file through a link of theirs, however far down the chain it stands.
bool is_trusted_owner(uid_t owner) { return owner == 0 || owner == ::geteuid(); }

bool read_link(int link_fd, std::string& target) {
  target.assign(256, '\0');
  for (;;) {
    const ssize_t got = ::readlinkat(link_fd, "", target.data(), target.size());
    if (got < 0) return false;
    if (static_cast<size_t>(got) < target.size()) {
      target.resize(static_cast<size_t>(got));
      return true;
    }
    target.resize(target.size() * 2);
  }
}

// Puts the parts of a link's target on top of the parts still to walk.
void push_parts(const std::string& target, std::vector<std::string>& parts) {
  size_t end = target.size();
  while (end > 0) {
    const size_t slash = target.rfind('/', end - 1);
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    if (end > start) parts.push_back(target.substr(start, end - start));
    if (slash == std::string::npos) break;
    end = slash;
  }
}

// Moves dir on by one part of the path: through a trusted link, into a directory, or, for
// the last part, opens the file. Returns 1 to go on, the file's descriptor as 0 with fd
// set, or -1 with errno set.
int walk_part(int& dir, const std::string& part, bool last, int& links,
              std::vector<std::string>& parts, int& fd) {
  const int entry = ::openat(dir, part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  struct stat info {};
  struct stat holder {};
  if (entry < 0 || ::fstat(entry, &info) != 0 || ::fstat(dir, &holder) != 0) {
    if (entry >= 0) ::close(entry);
    return -1;
  }
  if (S_ISLNK(info.st_mode)) {
    std::string target;
    const bool followed = ++links <= kMostLinks && is_trusted_owner(info.st_uid) &&
                          is_trusted_owner(holder.st_uid) && read_link(entry, target);
    ::close(entry);
    if (!followed) {
      errno = ELOOP;
      return -1;
    }
    push_parts(target, parts);
    if (!target.empty() && target[0] == '/') {
      ::close(dir);
      dir = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    return dir < 0 ? -1 : 1;
  }
  if (last) {
    ::close(entry);
    fd = ::openat(dir, part.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    return fd < 0 ? -1 : 0;
  }
  if (!S_ISDIR(info.st_mode)) {
    ::close(entry);
    errno = ENOTDIR;
    return -1;
  }
  // The directory just checked is the one walked on from, whatever its name holds now.
  ::close(dir);
  dir = entry;
  return 1;
}

// Opens a data file that is a symbolic link by walking the chain one part at a time, each
// part opened without following it, so that no link can be swapped in behind a check.
int open_through_trusted_links(const std::string& path) {
  const size_t slash = path.rfind('/');
  int dir =
      ::open(slash == 0 ? "/" : path.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  std::vector<std::string> parts{path.substr(slash + 1)};
  int links = 0;
  int fd = -1;
  int step = dir < 0 ? -1 : 1;
  while (step == 1) {
    // A link to "/" leaves no part to open: the data file is then a directory.
    if (parts.empty()) {
      errno = EISDIR;
      step = -1;
      break;
    }
    const std::string part = parts.back();
    parts.pop_back();
    const bool skip = part == "." && !parts.empty();
    step = skip ? 1 : walk_part(dir, part, parts.empty(), links, parts, fd);
  }
  const int saved = errno;
  if (dir >= 0) ::close(dir);
  errno = saved;
  return step == 0 ? fd : -1;
}

}  // namespace

Fault open_data_file(const std::string& path, Descriptor& file, struct stat* info) {
  file = Descriptor(io_open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
  if (file.fd < 0 && errno == ELOOP) file = Descriptor(open_through_trusted_links(path));
  if (file.fd < 0) return fault_from_errno(path);
  struct stat status {};
  if (::fstat(file.fd, &status) != 0) return fault_from_errno(path);
  if (!S_ISREG(status.st_mode)) {
    file = Descriptor();
    return not_regular(status.st_mode, path);
  }
  if (info != nullptr) *info = status;
  return {};
}

Fault create_temporary(const std::string& path, Descriptor& file) {
  if (io_unlink(path) == -1 && errno != ENOENT) return fault_from_errno(path);
  file = Descriptor(io_open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  return file.fd < 0 ? fault_from_errno(path) : Fault{};
}
