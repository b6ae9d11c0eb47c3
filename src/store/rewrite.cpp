#include "store/rewrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

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

// glibc's memmem skips ahead by most of a long needle, where find stops at every byte that
// merely starts one; the keys and headers that rules match are long enough to gain.
size_t find_text(std::string_view text, const std::string& needle, size_t from) {
  const void* hit = ::memmem(text.data() + from, text.size() - from, needle.data(), needle.size());
  return hit == nullptr ? std::string_view::npos
                        : static_cast<size_t>(static_cast<const char*>(hit) - text.data());
}

// Finds matches across the whole run of lines at once, so that lines without one cost
// no per-line work. A match after a zero byte of its line does not count.
void apply_rule(std::string_view lines, const LineRule& rule, Output& out) {
  if (rule.kind == RuleKind::kCopy || rule.match_text.empty()) {
    emit(out, lines);
    return;
  }
  size_t done = 0;
  while (done < lines.size()) {
    const size_t hit = find_text(lines, rule.match_text, done);
    if (hit == std::string_view::npos) break;
    const std::string_view line = line_around(lines, hit);
    const size_t start = static_cast<size_t>(line.data() - lines.data());
    emit(out, lines.substr(done, start - done));
    if (searchable_part(line).size() >= hit - start + rule.match_text.size()) {
      apply_to_matching_line(line, rule, out);
    } else {
      emit(out, line);
    }
    done = start + line.size();
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

bool apply_to_lines(int in, const std::string& path, Output& out, const LineRule& rule) {
  LineReader reader = make_line_reader(in, path);
  std::string_view lines;
  int got = 0;
  while ((got = next_lines(reader, lines)) == 1) {
    apply_rule(lines, rule, out);
    if (out.failed) return false;
  }
  return got == 0;
}

bool copy_through_rule(int in, const std::string& path, Output& out, const LineRule& rule,
                       const std::string& trailer) {
  const int copied = rule.kind == RuleKind::kCopy ? copy_in_kernel(in, path, out) : 0;
  if (copied < 0 || (copied == 0 && !apply_to_lines(in, path, out, rule))) return false;
  if (!trailer.empty()) emit_own_line(out, trailer);
  return flush(out);
}

// Root rewrites files that others own; they must stay theirs.
bool keep_owner(int temp_fd, const struct stat& data_file, const std::string& temp) {
  if (::geteuid() != 0) return true;
  return io_fchown(temp_fd, data_file.st_uid, data_file.st_gid, temp) == 0;
}

bool fill_temporary(int in, const std::string& path, const struct stat& data_file, int temp_fd,
                    const std::string& temp, const LineRule& rule, const std::string& trailer) {
  Output out;
  out.fd = temp_fd;
  out.subject = temp;
  const bool done = copy_through_rule(in, path, out, rule, trailer) &&
                    keep_owner(temp_fd, data_file, temp) && io_fchmod(temp_fd, 0666, temp) == 0 &&
                    io_fsync(temp_fd, temp) == 0;
  const int saved = errno;
  const bool closed = io_close(temp_fd, temp) == 0;
  if (!done) errno = saved;
  return done && closed;
}

// Whether the link at path may be followed: the rule the kernel applies in sticky
// directories, so that nobody can make root read a file through a link of theirs.
bool is_trusted_link(const std::string& path, struct stat& link) {
  return ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode) &&
         (link.st_uid == 0 || link.st_uid == ::geteuid());
}

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_uid == b.st_uid;
}

// Opens a data file that is a symbolic link, after checking whose it is; a link swapped
// for another while it was opened counts as untrusted.
int open_trusted_link(const std::string& path) {
  struct stat before {};
  struct stat after {};
  if (!is_trusted_link(path, before)) return io_fail(ELOOP, path);
  const int fd = io_open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::lstat(path.c_str(), &after) == 0 && same_file(before, after)) return fd;
  ::close(fd);
  return io_fail(ELOOP, path);
}

}  // namespace

int create_temporary(const std::string& path) {
  if (io_unlink(path) == -1 && errno != ENOENT) return -1;
  return io_open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

int open_data_file(const std::string& path, struct stat* info) {
  int fd = io_open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0 && errno == ELOOP) fd = open_trusted_link(path);
  if (fd < 0) return -1;
  struct stat status {};
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
    if (info != nullptr) *info = status;
    return fd;
  }
  const int cause = S_ISDIR(status.st_mode) ? EISDIR : (status.st_mode == 0 ? errno : EINVAL);
  ::close(fd);
  return io_fail(cause, path);
}

int prepare_data_file(const std::string& path, const LineRule& rule, const std::string& trailer) {
  struct stat data_file {};
  const int in = open_data_file(path, &data_file);
  if (in < 0) return -1;
  const std::string temp = temporary_path(path);
  const int temp_fd = create_temporary(temp);
  const bool done =
      temp_fd >= 0 && fill_temporary(in, path, data_file, temp_fd, temp, rule, trailer);
  const int saved = errno;
  ::close(in);
  if (!done && temp_fd >= 0) ::unlink(temp.c_str());
  errno = saved;
  return done ? 0 : -1;
}
