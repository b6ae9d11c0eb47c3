#include "store/rewrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "store/lines.h"
#include "store/paths.h"
#include "store/sys_io.h"

namespace {

constexpr size_t kOutputBlock = 1 << 20;
// Copying a run this long into the pending output would cost more than the write it saves.
constexpr size_t kDirectRun = 1 << 16;
// What one call may copy inside the kernel; large enough that the calls cost nothing.
constexpr size_t kCopyChunk = 1 << 30;

// Coalesces the small pieces of output; long runs of unchanged lines go straight out.
struct Output {
  int fd = -1;
  std::string subject;
  std::string pending;
  bool at_line_start = true;
  bool failed = false;
};

bool flush(Output& out) {
  if (out.failed) return false;
  if (!out.pending.empty() &&
      write_all(out.fd, out.pending.data(), out.pending.size(), out.subject) < 0) {
    out.failed = true;
  }
  out.pending.clear();
  return !out.failed;
}

void emit(Output& out, std::string_view bytes) {
  if (bytes.empty() || out.failed) return;
  out.at_line_start = bytes.back() == '\n';
  if (bytes.size() < kDirectRun && out.pending.size() + bytes.size() <= kOutputBlock) {
    out.pending.append(bytes);
    return;
  }
  if (flush(out) && write_all(out.fd, bytes.data(), bytes.size(), out.subject) < 0)
    out.failed = true;
}

// A line of the tool's own never joins a driver line that lacks its line feed.
void emit_own_line(Output& out, const std::string& line) {
  if (!out.at_line_start) emit(out, "\n");
  emit(out, line);
}

void apply_to_matching_line(std::string_view line, const LineRule& rule, Output& out) {
  switch (rule.kind) {
    case RuleKind::kCopy:
      emit(out, line);
      break;
    case RuleKind::kDropMatching:
      break;
    case RuleKind::kReplaceMatching:
      emit(out, rule.output);
      break;
    case RuleKind::kInsertAfterMatching:
      emit(out, line);
      emit_own_line(out, rule.output);
      break;
  }
}

// Roughly how often a byte stands in a data file's text: letters, digits, blanks and line
// ends often; other printable bytes seldom; control bytes hardly ever.
int commonness(unsigned char c) {
  const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  if (word || c == ' ' || c == '\t' || c == '\n') return 2;
  return c >= 0x20 && c < 0x7F ? 1 : 0;
}

size_t rarest_byte(const std::string& needle) {
  size_t rarest = 0;
  for (size_t i = 1; i < needle.size(); ++i) {
    if (commonness(static_cast<unsigned char>(needle[i])) <
        commonness(static_cast<unsigned char>(needle[rarest]))) {
      rarest = i;
    }
  }
  return rarest;
}

size_t find_by_memmem(std::string_view text, const std::string& needle, size_t from) {
  const void* hit = ::memmem(text.data() + from, text.size() - from, needle.data(), needle.size());
  return hit == nullptr ? std::string_view::npos
                        : static_cast<size_t>(static_cast<const char*>(hit) - text.data());
}

// memchr passes over the bytes between two of the needle's rarest byte faster than any
// general search, and the keys and headers that rules match carry punctuation that a data
// file's text seldom holds. Should that byte turn out common here, memmem takes over.
size_t find_text(std::string_view text, const std::string& needle, size_t from) {
  if (from >= text.size() || needle.size() > text.size() - from) return std::string_view::npos;
  const size_t pivot = rarest_byte(needle);
  size_t misses = 0;
  for (size_t at = from + pivot; at < text.size();) {
    const void* hit = std::memchr(text.data() + at, needle[pivot], text.size() - at);
    if (hit == nullptr) return std::string_view::npos;
    const size_t start = static_cast<size_t>(static_cast<const char*>(hit) - text.data()) - pivot;
    if (start + needle.size() <= text.size() &&
        std::memcmp(text.data() + start, needle.data(), needle.size()) == 0) {
      return start;
    }
    if (++misses > 64 + (start - from) / 256) return find_by_memmem(text, needle, start + 1);
    at = start + pivot + 1;
  }
  return std::string_view::npos;
}

// Whether a rule looks at lines at all.
bool matches_lines(const LineRule& rule) {
  return rule.kind != RuleKind::kCopy && !rule.match_text.empty();
}

bool copies_every_line(const std::vector<LineRule>& rules) {
  return std::none_of(rules.begin(), rules.end(), matches_lines);
}

// Finds every rule's matches across the whole run of lines at once, so that lines without
// one cost no per-line work; next[i] is rule i's first match at or after the line being
// decided. The first rule whose text a line holds before its first zero byte decides it.
void apply_rules(std::string_view lines, const std::vector<LineRule>& rules, Output& out) {
  if (copies_every_line(rules)) {
    emit(out, lines);
    return;
  }
  constexpr size_t kNone = std::string_view::npos;
  std::vector<size_t> next(rules.size(), kNone);
  for (size_t i = 0; i < rules.size(); ++i) {
    if (matches_lines(rules[i])) next[i] = find_text(lines, rules[i].match_text, 0);
  }
  size_t done = 0;
  for (size_t hit = *std::min_element(next.begin(), next.end()); hit != kNone;
       hit = *std::min_element(next.begin(), next.end())) {
    const std::string_view line = line_around(lines, hit);
    const size_t start = static_cast<size_t>(line.data() - lines.data());
    const size_t end = start + line.size();
    const size_t searchable = searchable_part(line).size();
    emit(out, lines.substr(done, start - done));
    const LineRule* decider = nullptr;
    for (size_t i = 0; i < rules.size(); ++i) {
      if (next[i] >= end) continue;
      if (decider == nullptr && searchable >= next[i] - start + rules[i].match_text.size()) {
        decider = &rules[i];
      }
      next[i] = find_text(lines, rules[i].match_text, end);
    }
    if (decider != nullptr) {
      apply_to_matching_line(line, *decider, out);
    } else {
      emit(out, line);
    }
    done = end;
  }
  emit(out, lines.substr(done));
}

// Streams every line of in through the rule into out. Returns false with errno set.
// File systems that cannot copy between two files in the kernel say so at once.
bool copies_in_user_space(int error) {
  return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// A rule that copies every line needs to see none: the kernel copies them without
// bringing them into the program. Returns 1 when done, 0 when the file system cannot and
// nothing was copied, -1 with errno set.
int copy_in_kernel(int in, const std::string& path, Output& out) {
  off_t copied = 0;
  ssize_t got = 0;
  while ((got = io_copy_file_range(in, out.fd, kCopyChunk, out.subject)) > 0) copied += got;
  if (got < 0) return copied == 0 && copies_in_user_space(errno) ? 0 : -1;
  char last = '\n';
  if (copied > 0 && ::pread(in, &last, 1, copied - 1) != 1) return io_fail(EIO, path);
  out.at_line_start = last == '\n';
  return 1;
}

bool apply_to_lines(int in, const std::string& path, Output& out,
                    const std::vector<LineRule>& rules) {
  LineReader reader = make_line_reader(in, path);
  std::string_view lines;
  int got = 0;
  while ((got = next_lines(reader, lines)) == 1) {
    apply_rules(lines, rules, out);
    if (out.failed) return false;
  }
  return got == 0;
}

bool copy_through_rules(int in, const std::string& path, Output& out,
                        const std::vector<LineRule>& rules, const std::string& trailer) {
  const int copied = copies_every_line(rules) ? copy_in_kernel(in, path, out) : 0;
  if (copied < 0 || (copied == 0 && !apply_to_lines(in, path, out, rules))) return false;
  if (!trailer.empty()) emit_own_line(out, trailer);
  return flush(out);
}

// Root rewrites files that others own; they must stay theirs.
bool keep_owner(int temp_fd, const struct stat& data_file, const std::string& temp) {
  if (::geteuid() != 0) return true;
  return io_fchown(temp_fd, data_file.st_uid, data_file.st_gid, temp) == 0;
}

bool fill_temporary(int in, const std::string& path, const struct stat& data_file, int temp_fd,
                    const std::string& temp, const std::vector<LineRule>& rules,
                    const std::string& trailer) {
  Output out;
  out.fd = temp_fd;
  out.subject = temp;
  const bool done = copy_through_rules(in, path, out, rules, trailer) &&
                    keep_owner(temp_fd, data_file, temp) && io_fchmod(temp_fd, 0666, temp) == 0 &&
                    io_fsync(temp_fd, temp) == 0;
  const int saved = errno;
  const bool closed = io_close(temp_fd, temp) == 0;
  if (!done) errno = saved;
  return done && closed;
}

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
    const std::string part = parts.back();
    parts.pop_back();
    const bool skip = part == "." && !parts.empty();
    step = skip ? 1 : walk_part(dir, part, parts.empty(), links, parts, fd);
  }
  const int saved = errno;
  if (dir >= 0) ::close(dir);
  return step == 0 ? fd : io_fail(saved, path);
}

}  // namespace

int create_temporary(const std::string& path) {
  if (io_unlink(path) == -1 && errno != ENOENT) return -1;
  return io_open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

int open_data_file(const std::string& path, struct stat* info) {
  int fd = io_open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0 && errno == ELOOP) fd = open_through_trusted_links(path);
  if (fd < 0) return -1;
  struct stat status {};
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
    if (info != nullptr) *info = status;
    return fd;
  }
  const int cause = status.st_mode == 0 ? errno : not_regular_error(status.st_mode);
  ::close(fd);
  return io_fail(cause, path);
}

int prepare_data_file(const std::string& path, const std::vector<LineRule>& rules,
                      const std::string& trailer) {
  struct stat data_file {};
  const int in = open_data_file(path, &data_file);
  if (in < 0) return -1;
  const std::string temp = temporary_path(path);
  const int temp_fd = create_temporary(temp);
  const bool done =
      temp_fd >= 0 && fill_temporary(in, path, data_file, temp_fd, temp, rules, trailer);
  const int saved = errno;
  ::close(in);
  if (!done && temp_fd >= 0) ::unlink(temp.c_str());
  errno = saved;
  return done ? 0 : -1;
}
