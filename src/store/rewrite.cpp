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
#include "store/open_file.h"
#include "store/seam.h"
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
  bool crlf = false;  // the last line end written was CR LF
  char last_byte = '\n';
  Fault fault;
};

bool flush(Output& out) {
  if (failed(out.fault)) return false;
  if (!out.pending.empty()) {
    out.fault = write_all(out.fd, out.pending.data(), out.pending.size(), out.subject);
  }
  out.pending.clear();
  return !failed(out.fault);
}

bool ends_in_crlf(std::string_view line) {
  return line.size() >= 2 && line.substr(line.size() - 2) == "\r\n";
}

// The tool's own lines end as the file's lines around them do.
std::string with_line_ends(const std::string& lines, bool crlf) {
  if (!crlf) return lines;
  std::string converted;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == '\n' && (i == 0 || lines[i - 1] != '\r')) converted += '\r';
    converted += lines[i];
  }
  return converted;
}

void emit(Output& out, std::string_view bytes) {
  if (bytes.empty() || failed(out.fault)) return;
  const size_t line_end = bytes.rfind('\n');
  if (line_end != std::string_view::npos) {
    out.crlf = (line_end > 0 ? bytes[line_end - 1] : out.last_byte) == '\r';
  }
  out.at_line_start = bytes.back() == '\n';
  out.last_byte = bytes.back();
  if (bytes.size() < kDirectRun && out.pending.size() + bytes.size() <= kOutputBlock) {
    out.pending.append(bytes);
    return;
  }
  if (flush(out)) out.fault = write_all(out.fd, bytes.data(), bytes.size(), out.subject);
}

// A line of the tool's own never joins a driver line that lacks its line feed.
void emit_own_line(Output& out, const std::string& line) {
  const bool crlf = out.crlf;
  if (!out.at_line_start) emit(out, crlf ? "\r\n" : "\n");
  emit(out, with_line_ends(line, crlf));
}

// at: where the rule's text starts in the line.
void apply_to_matching_line(std::string_view line, size_t at, const LineRule& rule, Output& out) {
  switch (rule.kind) {
    case RuleKind::kReplaceText:
      emit(out, line.substr(0, at));
      emit(out, rule.output);
      emit(out, line.substr(at + rule.match_text.size()));
      break;
    case RuleKind::kDropMatching:
      break;
    case RuleKind::kReplaceMatching:
    case RuleKind::kReplaceLine:
      emit(out, with_line_ends(rule.output, ends_in_crlf(line)));
      break;
    case RuleKind::kInsertAfterMatching:
      emit(out, line);
      emit_own_line(out, rule.output);
      break;
  }
}

// A rule without a text never decides a line.
bool matches_lines(const LineRule& rule) { return !rule.match_text.empty(); }

// Whether the rule decides the line that holds its text within searchable bytes from
// at. A line that only quotes a line a whole-line rule names is another line.
bool decides(const LineRule& rule, std::string_view line, size_t searchable, size_t at) {
  if (searchable < at + rule.match_text.size()) return false;
  if (rule.kind != RuleKind::kReplaceLine) return true;
  std::string_view text = line.substr(0, searchable);
  if (searchable == line.size() && !text.empty() && text.back() == '\n') {
    text.remove_suffix(ends_in_crlf(text) ? 2 : 1);
  }
  return text == rule.match_text;
}

bool copies_every_line(const std::vector<LineRule>& rules) {
  return std::none_of(rules.begin(), rules.end(), matches_lines);
}

// Finds every rule's matches across the whole run of lines at once, so that lines without
// one cost no per-line work; next[i] is rule i's first match at or after the line being
// decided. The first rule whose text a line holds before its first zero byte decides it;
// decided[i] is set once rule i has decided a line.
void apply_rules(std::string_view lines, const std::vector<LineRule>& rules, Output& out,
                 std::vector<bool>& decided) {
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
    size_t decider = rules.size();
    size_t at = 0;
    for (size_t i = 0; i < rules.size(); ++i) {
      if (next[i] >= end) continue;
      if (decider == rules.size() && decides(rules[i], line, searchable, next[i] - start)) {
        decider = i;
        at = next[i] - start;
      }
      next[i] = find_text(lines, rules[i].match_text, end);
    }
    if (decider != rules.size()) {
      decided[decider] = true;
      apply_to_matching_line(line, at, rules[decider], out);
    } else {
      emit(out, line);
    }
    done = end;
  }
  emit(out, lines.substr(done));
}

// File systems that cannot copy between two files in the kernel say so at once.
bool copies_in_user_space(int error) {
  return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// A copy in the making: the data file it reads and the output to its temporary file.
struct Copy {
  std::string path;
  Descriptor in;
  struct stat data_file {};
  Descriptor temp;
  Output out;
};

// The tool's own line after a last line that lacks its line feed ends as the last whole
// line did, as it does when the lines pass through the program.
Fault read_last_line_end(int fd, off_t size, const std::string& path, Output& out) {
  char block[4096];
  bool line_feed_seen = false;
  for (off_t end = size; end > 0;) {
    const off_t from = std::max<off_t>(0, end - static_cast<off_t>(sizeof block));
    const size_t want = static_cast<size_t>(end - from);
    const ssize_t got = io_pread(fd, block, want, from, path);
    if (got < 0) return fault_from_errno(path);
    if (static_cast<size_t>(got) < want) return {EIO, path, ""};  // the file shrank meanwhile
    if (end == size) out.at_line_start = block[want - 1] == '\n';
    for (size_t i = want; i-- > 0;) {
      if (line_feed_seen) {
        out.crlf = block[i] == '\r';
        return {};
      }
      line_feed_seen = block[i] == '\n';
    }
    end = from;
  }
  out.crlf = false;
  return {};
}

// Rules that copy every line need to see none: the kernel copies them without bringing
// them into the program. Returns false, with nothing copied and no fault, when the file
// system cannot.
bool copy_in_kernel(Copy& copy) {
  off_t copied = 0;
  ssize_t got = 0;
  while ((got = io_copy_file_range(copy.in.fd, copy.out.fd, kCopyChunk, copy.out.subject)) > 0) {
    copied += got;
  }
  if (got < 0) {
    if (copied == 0 && copies_in_user_space(errno)) return false;
    copy.out.fault = fault_from_errno(copy.out.subject);
    return true;
  }
  if (copied > 0) copy.out.fault = read_last_line_end(copy.in.fd, copied, copy.path, copy.out);
  return true;
}

void apply_to_lines(Copy& copy, const std::vector<LineRule>& rules) {
  LineReader reader = make_line_reader(copy.in.fd, copy.path, line_block_size());
  std::vector<bool> decided(rules.size(), false);
  while (!failed(copy.out.fault)) {
    std::string_view lines;
    const Fault fault = next_lines(reader, lines);
    if (failed(fault)) copy.out.fault = fault;
    if (failed(fault) || lines.empty()) break;
    apply_rules(lines, rules, copy.out, decided);
  }
  for (size_t i = 0; i < rules.size() && !failed(copy.out.fault); ++i) {
    if (!decided[i] && !rules[i].unmatched.empty())
      copy.out.fault = {0, copy.path, rules[i].unmatched};
  }
}

bool copy_through_rules(Copy& copy, const std::vector<LineRule>& rules,
                        const std::string& trailer) {
  if (!copies_every_line(rules) || !copy_in_kernel(copy)) apply_to_lines(copy, rules);
  if (!trailer.empty()) emit_own_line(copy.out, trailer);
  return flush(copy.out);
}

// Root rewrites files that others own; they must stay theirs, and in their group, which
// the print system may read them by and whose permission bits would otherwise go to the
// writer's group. The data file's permission bits are kept whatever the umask, so that a
// file an administrator tightened is never opened up again; the bytes must be on the disk
// before the copy can be named in a change.
Fault finish_temporary(Copy& copy) {
  const int fd = copy.out.fd;
  const std::string& temp = copy.out.subject;
  const uid_t owner = ::geteuid() == 0 ? copy.data_file.st_uid : static_cast<uid_t>(-1);
  if (io_fchown(fd, owner, copy.data_file.st_gid, temp) != 0) {
    return errno == EPERM ? Fault{EPERM, copy.path,
                                  "its group is not one of this user's; only root may change it"}
                          : fault_from_errno(temp);
  }
  if (io_fchmod(fd, copy.data_file.st_mode & 07777, temp) != 0 || io_fsync(fd, temp) != 0) {
    return fault_from_errno(temp);
  }
  return close_checked(copy.temp, temp);
}

// The copy takes the data file's place, and with it the owner of the copy: only root can
// give it back to another user, so nobody else may replace a file another user owns.
Fault fill_temporary(Copy& copy, const std::vector<LineRule>& rules, const std::string& trailer) {
  Fault fault = open_data_file(copy.path, copy.in, &copy.data_file);
  if (failed(fault)) return fault;
  if (::geteuid() != 0 && copy.data_file.st_uid != ::geteuid()) {
    return {EPERM, copy.path, "owned by another user; only its owner or root may change it"};
  }
  fault = create_temporary(copy.out.subject, copy.temp);
  if (failed(fault)) return fault;
  copy.out.fd = copy.temp.fd;
  if (!copy_through_rules(copy, rules, trailer)) return copy.out.fault;
  return finish_temporary(copy);
}

}  // namespace

std::string temporary_path(const std::string& data_file_path) { return data_file_path + ".$$$"; }

std::string file_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

Fault about_own_file(Fault fault, const std::string& stands_for, const std::string& doing) {
  const std::string directory = stands_for.substr(0, stands_for.rfind('/'));
  fault.subject = stands_for;
  if (fault.error == EACCES || fault.error == EPERM) {
    fault.why = "needs write permission in " + directory;
  } else {
    fault.why = doing + ": " + reason(fault);
  }
  return fault;
}

FileIdentity identity_of(const struct stat& info) {
  return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

bool same_identity(const FileIdentity& a, const FileIdentity& b) {
  const auto same_time = [](const timespec& x, const timespec& y) {
    return x.tv_sec == y.tv_sec && x.tv_nsec == y.tv_nsec;
  };
  return a.device == b.device && a.inode == b.inode && a.size == b.size &&
         same_time(a.modified, b.modified) && same_time(a.changed, b.changed);
}

Fault prepare_data_file(const std::string& path, const std::vector<LineRule>& rules,
                        const std::string& trailer, FileIdentity* read,
                        const std::string& destination) {
  Copy copy;
  copy.path = path;
  copy.out.subject = destination.empty() ? temporary_path(path) : destination;
  Fault fault = fill_temporary(copy, rules, trailer);
  if (failed(fault) && copy.out.fd >= 0) ::unlink(copy.out.subject.c_str());
  if (failed(fault) && fault.subject == copy.out.subject)
    fault = about_own_file(fault, path, "writing its new copy");
  if (!failed(fault) && read != nullptr) *read = identity_of(copy.data_file);
  return fault;
}
