#include "store/open_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

#include "store/sys_io.h"

namespace {

// As many links as the kernel itself follows in one path.
constexpr int kMostLinks = 40;

bool is_trusted_owner(uid_t owner) { return owner == 0 || owner == ::geteuid(); }

// Whether nobody but root and the user running the program can put another entry in the
// directory where one owned by entry_owner stands.
bool keeps_entry(const struct stat& directory, uid_t entry_owner) {
  if (!is_trusted_owner(directory.st_uid)) return false;
  if ((directory.st_mode & (S_IWGRP | S_IWOTH)) == 0) return true;
  return (directory.st_mode & S_ISVTX) != 0 && is_trusted_owner(entry_owner);
}

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

std::vector<std::string> parts_of(const std::string& path) {
  std::vector<std::string> parts;
  for (size_t start = 0; start <= path.size();) {
    const size_t slash = std::min(path.find('/', start), path.size());
    if (slash > start) parts.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  return parts;
}

// A data file's path walked one part at a time, each part opened without following it,
// so that no link can be swapped in behind a check.
struct LinkWalk {
  std::string path;                // the data file's, which every fault is about
  Descriptor dir;                  // where the next part is looked up
  std::vector<std::string> at;     // the parts of dir's path, from the root
  std::vector<std::string> parts;  // still to walk, the next one last
  int links = 0;
};

void push_parts(const std::string& target, std::vector<std::string>& parts) {
  const std::vector<std::string> more = parts_of(target);
  parts.insert(parts.end(), more.rbegin(), more.rend());
}

Fault follow_link(LinkWalk& walk, const Descriptor& entry, const struct stat& info,
                  const struct stat& holder) {
  std::string target;
  if (++walk.links > kMostLinks || !is_trusted_owner(info.st_uid) ||
      !keeps_entry(holder, info.st_uid) || !read_link(entry.fd, target) || target.empty()) {
    return {ELOOP, walk.path, ""};
  }
  push_parts(target, walk.parts);
  if (target[0] != '/') return {};
  Descriptor root(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (root.fd < 0) return fault_from_errno(walk.path);
  walk.dir = std::move(root);
  walk.at.clear();
  return {};
}

// Moves the walk on by one part: through a trusted link, or into a directory. The last
// part, once it is no link, ends the walk.
Fault walk_part(LinkWalk& walk, const std::string& part, bool& ended) {
  if (part == "..") {
    Descriptor up(::openat(walk.dir.fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (up.fd < 0) return fault_from_errno(walk.path);
    walk.dir = std::move(up);
    if (!walk.at.empty()) walk.at.pop_back();
    return {};
  }
  Descriptor entry(::openat(walk.dir.fd, part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  struct stat info {};
  struct stat holder {};
  if (::fstat(walk.dir.fd, &holder) != 0) return fault_from_errno(walk.path);
  if (entry.fd < 0) {
    // A target that is not there ends the walk: reading it finds it missing. Nobody else may
    // be able to put one there either.
    ended = errno == ENOENT && walk.parts.empty();
    if (!ended) return fault_from_errno(walk.path);
    return keeps_entry(holder, ::geteuid()) ? Fault{} : Fault{ELOOP, walk.path, ""};
  }
  if (::fstat(entry.fd, &info) != 0) return fault_from_errno(walk.path);
  if (S_ISLNK(info.st_mode)) return follow_link(walk, entry, info, holder);
  if (walk.links > 0 && !keeps_entry(holder, info.st_uid)) return {ELOOP, walk.path, ""};
  if (walk.parts.empty()) {
    ended = true;
    return {};
  }
  if (!S_ISDIR(info.st_mode)) return {ENOTDIR, walk.path, ""};
  // The directory just checked is the one walked on from, whatever its name holds now.
  walk.dir = std::move(entry);
  walk.at.push_back(part);
  return {};
}

std::string joined(const std::vector<std::string>& parts, const std::string& last) {
  std::string path;
  for (const std::string& part : parts) path += "/" + part;
  return path + "/" + last;
}

}  // namespace

Fault resolve_data_file(const std::string& path, std::string& resolved) {
  resolved = path;
  struct stat info {};
  if (io_lstat(path, info) != 0) return errno == ENOENT ? Fault{} : fault_from_errno(path);
  if (!S_ISLNK(info.st_mode)) return {};
  const size_t slash = path.rfind('/');
  char* real =
      slash == std::string::npos ? nullptr : ::realpath(path.substr(0, slash).c_str(), nullptr);
  if (real == nullptr) return fault_from_errno(path);
  const std::string directory = real;
  std::free(real);
  LinkWalk walk{path,
                Descriptor(::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)),
                parts_of(directory),
                {path.substr(slash + 1)}};
  if (walk.dir.fd < 0) return fault_from_errno(path);
  for (bool ended = false; !ended;) {
    // A link to "/" leaves no part to open: the data file is then a directory.
    if (walk.parts.empty()) return {EISDIR, path, ""};
    const std::string part = walk.parts.back();
    walk.parts.pop_back();
    if (part == ".") continue;
    const Fault fault = walk_part(walk, part, ended);
    if (failed(fault)) return fault;
    if (ended) resolved = joined(walk.at, part);
  }
  return {};
}

// The change record names each data file by the name of the file it leads to, so those
// names must tell the files apart and fit on one of its lines.
Fault resolve_file_set(FileSet& set) {
  const std::vector<std::string> given = set.files;
  std::vector<std::string> names;
  for (size_t i = 0; i < given.size(); ++i) {
    const Fault fault = resolve_data_file(given[i], set.files[i]);
    if (failed(fault)) return fault;
    const std::string name = set.files[i].substr(set.files[i].rfind('/') + 1);
    if (name.find_first_of("\t\n") != std::string::npos) {
      return {0, given[i], "leads to a file whose name holds a tab or a line feed"};
    }
    const auto twin = std::find(names.begin(), names.end(), name);
    if (twin != names.end()) {
      // The link is to blame, not the file that has the name of its own.
      const std::string& link = set.files[i] != given[i] ? given[i] : given[twin - names.begin()];
      return {0, link, "leads to a file named as another data file is, '" + name + "'"};
    }
    names.push_back(name);
  }
  return {};
}

Fault open_data_file(const std::string& path, Descriptor& file, struct stat* info) {
  file = Descriptor(io_open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
  if (file.fd < 0) return fault_from_errno(path);
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
