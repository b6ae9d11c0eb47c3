#include "store/rewrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string_view>

#include "store/lines.h"
#include "store/paths.h"
#include "store/sys_io.h"

namespace {

constexpr size_t kOutputBlock = 1 << 20;
// Copying a run this long into the pending output would cost more than the write it saves.
constexpr size_t kDirectRun = 1 << 16;

// The temporary file a signal must not leave behind; null while there is none. A single
// volatile pointer, so the handler never sees it half written.
const char* volatile live_temporary = nullptr;

void remove_live_temporary(int signal_number) {
  const char* temp = live_temporary;
  if (temp != nullptr) ::unlink(temp);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

// Coalesces the small pieces of output; long runs of unchanged lines go straight out.
struct Output {
  int fd = -1;
  std::string pending;
  bool at_line_start = true;
  bool failed = false;
};

bool flush(Output& out) {
  if (out.failed) return false;
  if (!out.pending.empty() && write_all(out.fd, out.pending.data(), out.pending.size()) < 0) {
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
  if (flush(out) && write_all(out.fd, bytes.data(), bytes.size()) < 0) out.failed = true;
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

// Finds matches across the whole run of lines at once, so that lines without one cost
// no per-line work. A match after a zero byte of its line does not count.
void apply_rule(std::string_view lines, const LineRule& rule, Output& out) {
  if (rule.kind == RuleKind::kCopy || rule.match_text.empty()) {
    emit(out, lines);
    return;
  }
  size_t done = 0;
  while (done < lines.size()) {
    const size_t hit = lines.find(rule.match_text, done);
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
bool copy_through_rule(int in, Output& out, const LineRule& rule, const std::string& trailer) {
  LineReader reader = make_line_reader(in);
  std::string_view lines;
  int got = 0;
  while ((got = next_lines(reader, lines)) == 1) {
    apply_rule(lines, rule, out);
    if (out.failed) return false;
  }
  if (got < 0) return false;
  if (!trailer.empty()) emit_own_line(out, trailer);
  return flush(out);
}

int create_temporary(const std::string& temp) {
  if (io_unlink(temp.c_str()) == -1 && errno != ENOENT) return -1;
  return io_open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

std::string directory_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes the rename itself durable. The new contents are already in place, so a failure
// here changes nothing that could be reported.
void sync_directory(const std::string& path) {
  const int dir = ::open(directory_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  ::fsync(dir);
  ::close(dir);
}

// Fills the temporary file and renames it over the data file; on failure the caller
// removes the temporary file.
bool replace_through(int in, int temp_fd, const std::string& temp, const std::string& path,
                     const LineRule& rule, const std::string& trailer) {
  Output out;
  out.fd = temp_fd;
  bool done = copy_through_rule(in, out, rule, trailer) && io_fchmod(temp_fd, 0666) == 0 &&
              io_fsync(temp_fd) == 0;
  const int saved = errno;
  const bool closed = io_close(temp_fd) == 0;
  if (!done) errno = saved;
  done = done && closed;
  return done && io_rename(temp.c_str(), path.c_str()) == 0;
}

}  // namespace

int open_data_file(const std::string& path) {
  const int fd = io_open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) return fd;
  const int cause = S_ISDIR(info.st_mode) ? EISDIR : (info.st_mode == 0 ? errno : EINVAL);
  ::close(fd);
  errno = cause;
  return -1;
}

int rewrite_data_file(const std::string& path, const LineRule& rule, const std::string& trailer) {
  const int in = open_data_file(path);
  if (in < 0) return -1;
  const std::string temp = temporary_path(path);
  // Marked before it exists, so that no signal falls between its creation and the mark.
  // Under the lock any file of that name is this run's or a stale one, never another's.
  live_temporary = temp.c_str();
  const int temp_fd = create_temporary(temp);
  const bool done = temp_fd >= 0 && replace_through(in, temp_fd, temp, path, rule, trailer);
  const int saved = errno;
  ::close(in);
  if (!done && temp_fd >= 0) ::unlink(temp.c_str());
  live_temporary = nullptr;
  errno = saved;
  if (!done) return -1;
  sync_directory(path);
  return 0;
}

void remove_temporary_on_signals() {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    // A signal the caller chose to ignore, as nohup does, stays ignored.
    if (::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
      continue;
    }
    std::signal(signal_number, remove_live_temporary);
  }
}
