#include "front/entry.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "formats/entries.h"
#include "formats/layout.h"
#include "formats/request.h"
#include "front/catalogue.h"
#include "front/scan.h"
#include "front/system_log.h"
#include "front/usage.h"
#include "ops/executor.h"
#include "ops/format_list.h"
#include "store/seam.h"
#include "store/transaction.h"

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 255;
constexpr int kProblemsFound = 1;
// As for any command-line tool: nothing was done, because the command line said nothing
// this program can do.
constexpr int kUsageError = 2;
constexpr char kVersionLine[] = "vtpapertoollpr " VTPAPERTOOL_VERSION "\n";
// A run that waits this long for the lock says so, once.
constexpr int64_t kQuietWaitMs = 1000;

// What every message needs to know of the run.
struct Run {
  std::string program;
  FormatRequest request;
  std::vector<FormatRequest> catalogue;  // --apply's formats
  bool changed = false;                  // some change is committed
};

void print_system_error(int error) { std::printf("%s\n", std::strerror(error)); }

// Names and paths in a message may come from files or from other users: no control byte
// of theirs reaches a terminal, and the message stays one line.
std::string without_control_bytes(const std::string& line) {
  std::string shown;
  for (const char c : line)
    shown += is_control_byte(c) && c != '\t' ? octal_escape(c) : std::string(1, c);
  return shown;
}

// Why standard output first failed: once it has, later flushes see only its error flag,
// and "Input/output error" would hide a full disk.
int flush_standard_output() {
  static int first_error = 0;
  if (std::fflush(stdout) != 0 && first_error == 0) first_error = errno;
  if (std::ferror(stdout) && first_error == 0) first_error = EIO;
  return first_error;
}

// Standard output belongs to scripts; the one line that says why goes to standard error,
// after what standard output holds so far, so that the two read in order on one screen.
void tell(const Run& run, const std::string& line) {
  flush_standard_output();
  std::fprintf(stderr, "%s: %s\n", run.program.c_str(), without_control_bytes(line).c_str());
}

// Scripts get the name's bytes as they gave them; a terminal gets no control byte that
// could move its cursor or change its settings.
std::string shown_name(const std::string& name) {
  return ::isatty(STDOUT_FILENO) == 1 ? escaped_name(name) : name;
}

// "add", "replace" or "delete", the name, and for the first two the width and length as a
// catalogue holds them, so that a catalogue, its change lines and a later export agree.
std::string change_line(const FormatChange& change) {
  static const char* const kKinds[] = {"add", "replace", "delete"};
  std::string line = std::string(kKinds[static_cast<int>(change.kind)]) + "\t" +
                     escaped_name(change.format.label_name);
  if (change.kind != ChangeKind::kDelete) {
    line += "\t" + std::to_string(width_to_ask(change.format)) + "\t" +
            std::to_string(change.format.length_mm);
  }
  return line + "\n";
}

// A catalogue says what it changed, a dry run what it would change; -n and -d print only
// what they always printed.
void print_changes(Command command, const Run& run, const Outcome& outcome) {
  const bool dry_run = run.request.dry_run;
  if (command != Command::kApply && command != Command::kDeleteListed && !dry_run) return;
  for (const FormatChange& change : outcome.changes) {
    if (change.made || dry_run) std::fputs(change_line(change).c_str(), stdout);
  }
}

// Standard output names a failure as the system does where an add or a delete fails on a
// file while a format on file is at stake, as scripts have always read it; entering a new
// format, and every other command, print nothing else.
bool names_system_error(Command command, const Run& run, const Outcome& outcome) {
  if (run.request.dry_run || outcome.fault.error == 0) return false;
  if (command == Command::kDelete) return true;
  return command == Command::kAdd &&
         std::any_of(outcome.changes.begin(), outcome.changes.end(),
                     [](const FormatChange& change) { return change.kind != ChangeKind::kAdd; });
}

// A change that the print system has in part or whole is never dropped: its record stays,
// and the next run of any command commits it before it does anything else.
std::string failure_line(const Outcome& outcome) {
  std::string line = described(outcome.fault);
  if (outcome.status == Status::kRecorded) {
    line += "; the change is recorded, and the next run finishes it";
  }
  if (outcome.status == Status::kBusy) {
    line += " (held by another run for " + std::to_string(lock_patience_ms() / 1000) + " s)";
  }
  return line;
}

// The front end's whole answer to an outcome: what it printed comes first, whole, also
// when a later part failed (a catalogue's committed formats), then what went wrong on the
// way, then the status and the line that says why.
int answer(Command command, const Run& run, const Outcome& outcome) {
  std::fwrite(outcome.output.data(), 1, outcome.output.size(), stdout);
  print_changes(command, run, outcome);
  for (const Fault& note : outcome.notes) tell(run, described(note));
  switch (outcome.status) {
    case Status::kDone:
      return kSuccess;
    case Status::kProblems:
      // Like fsck, a check that found problems says so in its status; the lines tell what.
      return kProblemsFound;
    case Status::kNotFound:
      if (command == Command::kDelete) {
        std::printf("Not found '%s'\n", shown_name(run.request.label_name).c_str());
      }
      return kSuccess;
    case Status::kFailed:
    case Status::kRecorded:
    case Status::kBusy:
      break;
  }
  if (names_system_error(command, run, outcome)) print_system_error(outcome.fault.error);
  tell(run, failure_line(outcome));
  return kFailure;
}

// A run that waits long for the lock says so, once, and waits on.
int run_locked(Command command, Run& run) {
  const int64_t patience = lock_patience_ms();
  Outcome outcome = execute(command, run.request, run.catalogue, std::min(patience, kQuietWaitMs));
  if (outcome.status == Status::kBusy && patience > kQuietWaitMs) {
    tell(run, outcome.fault.subject + ": held by another run; waiting up to " +
                  std::to_string(patience / 1000) + " s");
    outcome = execute(command, run.request, run.catalogue, patience - kQuietWaitMs);
  }
  log_outcome(run.program, command, run.request, outcome);
  run.changed = changed_the_files(command, run.request, outcome);
  // A reader that went away must not end the program unheard once the files have changed:
  // the write fails instead, and the failure line says that the change was made. The
  // sibling tool has run by now, so it keeps the disposition the program was started with.
  std::signal(SIGPIPE, SIG_IGN);
  return answer(command, run, outcome);
}

// A catalogue that names no format would have --prune delete every format on file: after a
// failed export or with a missing variable that is a wiped server, so it takes asking.
Fault read_catalogue(Command command, Run& run) {
  const Fault unread =
      read_catalogue_file(run.request, command == Command::kDeleteListed, run.catalogue);
  if (failed(unread) || !run.catalogue.empty() || !run.request.prune || run.request.allow_empty) {
    return unread;
  }
  const std::string& path = run.request.catalogue_path;
  return {0, path == "-" ? "standard input" : path,
          "names no format, so --prune would delete every format on file; give --allow-empty "
          "to mean that"};
}

int run_words(const std::vector<std::string>& words, Run& run) {
  if (!identify_model(run.program, run.request)) {
    std::printf("%s is invalid.\n\n", run.program.c_str());
    tell(run, "program name: no printer model in it; start the tool as vtpapertoollpr_<model>");
    return kUsageError;
  }
  if (words.size() == 2 && words[1] == "--version") {
    std::fputs(kVersionLine, stdout);
    return kSuccess;
  }
  if (words.size() == 2 && words[1] == "--help") {
    print_usage_screen(run.request);
    std::fputs(options_help().c_str(), stdout);
    return kSuccess;
  }
  const Scan scan = scan_command_line(words, run.request);
  if (scan.command == Command::kUsage) {
    // The screen is the answer scripts have always had, the status tells them that nothing
    // was done, and the reason is for people.
    print_usage_screen(run.request);
    tell(run, described(scan.refusal));
    return kUsageError;
  }
  if (!scan.notice.empty()) tell(run, scan.notice);
  if (scan.command == Command::kModel) {
    std::printf("%s\n", run.request.model_id.c_str());
    return kSuccess;
  }
  if (scan.command == Command::kApply || scan.command == Command::kDeleteListed) {
    const Fault unread = read_catalogue(scan.command, run);
    if (failed(unread)) {
      tell(run, described(unread));
      return kFailure;
    }
  }
  tell_signals_as(without_control_bytes(run.program));
  return run_locked(scan.command, run);
}

// A closed standard descriptor would be handed to the first file opened, and a message
// meant for a terminal would land in a data file. /dev/null is opened the wrong way
// round on purpose: a write to a closed standard output must still fail, and be told.
// Returns false when one stays free, and the program must not go on.
bool keep_standard_descriptors_taken() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF &&
        ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY) != fd) {
      return false;
    }
  }
  return true;
}

// Scripts read standard output, so output that never arrived is a failure like any other;
// but a refused command line still did nothing, which its own status says.
int finish_output(const Run& run, int status) {
  const int error = flush_standard_output();
  if (error == 0) return status;
  tell(run, std::string("standard output: ") + std::strerror(error) +
                (run.changed ? "; the change was made" : ""));
  return status == kUsageError ? status : kFailure;
}

}  // namespace

int run_tool(const std::vector<std::string>& words) {
  // Without /dev/null nothing can be told either: the status alone says it.
  if (!keep_standard_descriptors_taken()) return kFailure;
  Run run;
  run.program = words.empty() ? "" : words[0];
  return finish_output(run, run_words(words, run));
}
