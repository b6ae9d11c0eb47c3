#include "store/open_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
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

// A data file's path walked one part at a time.
struct LinkWalk {
  std::string path;                // the data file's, which every fault is about
  Descriptor dir;                  // where the next part is looked up
  std::vector<std::string> parts;  // still to walk, the next one last
  int links = 0;
};

// Moves the walk on by one part: through a trusted link, into a directory, or, for the
// last part, opens it as file.
Fault walk_part(LinkWalk& walk, const std::string& part, Descriptor& file) {
  Descriptor entry(::openat(walk.dir.fd, part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  struct stat info {};
  struct stat holder {};
  if (entry.fd < 0 || ::fstat(entry.fd, &info) != 0 || ::fstat(walk.dir.fd, &holder) != 0) {
    return fault_from_errno(walk.path);
  }
  if (S_ISLNK(info.st_mode)) {
    std::string target;
    if (++walk.links > kMostLinks || !is_trusted_owner(info.st_uid) ||
        !is_trusted_owner(holder.st_uid) || !read_link(entry.fd, target)) {
      return {ELOOP, walk.path, ""};
    }
    push_parts(target, walk.parts);
    if (target.empty() || target[0] != '/') return {};
    Descriptor root(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (root.fd < 0) return fault_from_errno(walk.path);
    walk.dir = std::move(root);
    return {};
  }
  if (walk.parts.empty()) {
    file = Descriptor(
        ::openat(walk.dir.fd, part.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    return file.fd < 0 ? fault_from_errno(walk.path) : Fault{};
  }
  if (!S_ISDIR(info.st_mode)) return {ENOTDIR, walk.path, ""};
  // The directory just checked is the one walked on from, whatever its name holds now.
  walk.dir = std::move(entry);
  return {};
}

// Opens a data file that is a symbolic link by walking the chain one part at a time, each
// part opened without following it, so that no link can be swapped in behind a check.
Fault open_through_trusted_links(const std::string& path, Descriptor& file) {
  const size_t slash = path.rfind('/');
  const std::string directory = slash == 0 ? "/" : path.substr(0, slash);
  LinkWalk walk{path,
                Descriptor(::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)),
                {path.substr(slash + 1)}};
  if (walk.dir.fd < 0) return fault_from_errno(path);
  while (file.fd < 0) {
    // A link to "/" leaves no part to open: the data file is then a directory.
    if (walk.parts.empty()) return {EISDIR, path, ""};
    const std::string part = walk.parts.back();
    walk.parts.pop_back();
    if (part == "." && !walk.parts.empty()) continue;
    const Fault fault = walk_part(walk, part, file);
    if (failed(fault)) return fault;
  }
  return {};
}

}  // namespace

Fault open_data_file(const std::string& path, Descriptor& file, struct stat* info) {
  file = Descriptor(io_open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
  if (file.fd < 0 && errno != ELOOP) return fault_from_errno(path);
  if (file.fd < 0) {
    const Fault fault = open_through_trusted_links(path, file);
    if (failed(fault)) return fault;
  }
  struct stat status {};
  if (io_fstat(file.fd, status, path) != 0) return fault_from_errno(path);
  if (!S_ISREG(status.st_mode)) {
    file = Descriptor();
    return not_regular(status.st_mode, path);
  }
  if (info != nullptr) *info = status;
  return {};
}

Fault create_temporary(const std::string& path, Descriptor& file) {
  if (io_unlink(path) == -1 && errno != ENOENT) return fault_from_errno(path);
  file = Descriptor(io_open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  return file.fd < 0 ? fault_from_errno(path) : Fault{};
}
