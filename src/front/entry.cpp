#include "front/entry.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "formats/layout.h"
#include "formats/request.h"
#include "front/catalogue.h"
#include "front/scan.h"
#include "front/usage.h"
#include "ops/executor.h"
#include "ops/format_list.h"
#include "store/seam.h"

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
};

void print_system_error(int error) { std::printf("%s\n", std::strerror(error)); }

// Standard output belongs to scripts; the one line that says why goes to standard error,
// after what standard output holds so far, so that the two read in order on one screen.
void tell(const Run& run, const std::string& line) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", run.program.c_str(), line.c_str());
}

void report(const Run& run, const std::string& what, const std::string& why) {
  tell(run, what + ": " + why);
}

// with_error_line: standard output names the failure as the system does, as it always has
// where a format on file was at stake.
int failure(const Run& run, const Fault& fault, bool with_error_line) {
  if (with_error_line && fault.error != 0) print_system_error(fault.error);
  report(run, fault.subject, reason(fault));
  return kFailure;
}

// A change that the print system has in part or whole is never dropped: its record stays,
// and the next run of any command commits it before it does anything else.
Fault left_for_next_run(Fault fault) {
  fault.why = reason(fault) + "; the change is recorded, and the next run finishes it";
  return fault;
}

// Scripts get the name's bytes as they gave them; a terminal gets no control byte that
// could move its cursor or change its settings.
std::string shown_name(const std::string& name) {
  return ::isatty(STDOUT_FILENO) == 1 ? escaped_name(name) : name;
}

// Standard output names a data file's failure as the system does where a format on file
// was at stake, as scripts have always seen it from an add or a delete; the commands that
// print what they find or change print nothing else.
bool names_failures(Command command, const Run& run) {
  return (command == Command::kAdd || command == Command::kDelete) && !run.request.dry_run;
}

std::string lock_name(const Run& run) { return "lock on " + data_directory(run.request.model_id); }

// A model whose data directory is missing has no driver installed: that fails as a missing
// data file would, so standard output names it only for a delete.
int lock_failure(Command command, const Run& run, const Outcome& outcome) {
  const Fault& fault = outcome.fault;
  if (outcome.result == Result::kNoDriver) {
    if (command == Command::kDelete && !run.request.dry_run) print_system_error(fault.error);
    report(run, data_directory(run.request.model_id), reason(fault));
    return kFailure;
  }
  print_system_error(fault.error);
  const std::string held =
      " (held by another run for " + std::to_string(lock_patience_ms() / 1000) + " s)";
  report(run, lock_name(run),
         reason(fault) + (outcome.result == Result::kLockBusy ? held : std::string()));
  return kFailure;
}

// The front end's whole answer to an outcome: what it printed comes first, whole, also
// when a later part failed (a catalogue's committed formats), then the status and the line
// that says why.
int answer(Command command, const Run& run, const Outcome& outcome) {
  std::fwrite(outcome.output.data(), 1, outcome.output.size(), stdout);
  switch (outcome.result) {
    case Result::kDone:
      // Like fsck, a check that found problems says so in its status; the lines tell what.
      return command == Command::kCheck && !outcome.output.empty() ? kProblemsFound : kSuccess;
    case Result::kNotMended:
      return kProblemsFound;
    case Result::kNotFound:
      if (command == Command::kDelete) {
        std::printf("Not found '%s'\n", shown_name(run.request.label_name).c_str());
      }
      return kSuccess;
    case Result::kInstallFailed:
      return failure(run, left_for_next_run(outcome.fault), names_failures(command, run));
    case Result::kDataFileFailed:
      return failure(run, outcome.fault, names_failures(command, run));
    case Result::kEntryFailed:
    case Result::kSiblingFailed:
      return failure(run, outcome.fault, false);
    case Result::kNoDriver:
    case Result::kLockBusy:
    case Result::kLockFailed:
      break;
  }
  return lock_failure(command, run, outcome);
}

// A run that waits long for the lock says so, once, and waits on.
int run_locked(Command command, const Run& run) {
  const int64_t patience = lock_patience_ms();
  Outcome outcome = execute(command, run.request, run.catalogue, std::min(patience, kQuietWaitMs));
  if (outcome.result == Result::kLockBusy && patience > kQuietWaitMs) {
    report(run, lock_name(run),
           "held by another run; waiting up to " + std::to_string(patience / 1000) + " s");
    outcome = execute(command, run.request, run.catalogue, patience - kQuietWaitMs);
  }
  return answer(command, run, outcome);
}

int run_words(const std::vector<std::string>& words, Run& run) {
  if (!identify_model(run.program, run.request)) {
    std::printf("%s is invalid.\n\n", run.program.c_str());
    report(run, "program name", "no printer model in it; start the tool as vtpapertoollpr_<model>");
    return kUsageError;
  }
  if (words.size() == 2 && words[1] == "--version") {
    std::fputs(kVersionLine, stdout);
    return kSuccess;
  }
  if (words.size() == 2 && words[1] == "--help") {
    print_usage_screen(run.request);
    return kSuccess;
  }
  const Scan scan = scan_command_line(words, run.request);
  if (scan.command == Command::kUsage) {
    // The screen is the answer scripts have always had, the status tells them that nothing
    // was done, and the reason is for people.
    print_usage_screen(run.request);
    tell(run, scan.refusal);
    return kUsageError;
  }
  if (!scan.notice.empty()) tell(run, scan.notice);
  std::string refusal;
  if (scan.command == Command::kApply &&
      !read_catalogue_file(run.request, run.catalogue, refusal)) {
    tell(run, refusal);
    return kFailure;
  }
  return run_locked(scan.command, run);
}

// A closed standard descriptor would be handed to the first file opened, and a message
// meant for a terminal would land in a data file. /dev/null is opened the wrong way
// round on purpose: a write to a closed standard output must still fail, and be told.
void keep_standard_descriptors_taken() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
    }
  }
}

// Scripts read standard output, so output that never arrived is a failure like any other.
int finish_output(const Run& run, int status) {
  const int error = std::fflush(stdout) == 0 ? (std::ferror(stdout) ? EIO : 0) : errno;
  if (error == 0) return status;
  report(run, "standard output", std::strerror(error));
  return kFailure;
}

}  // namespace

int run_tool(const std::vector<std::string>& words) {
  keep_standard_descriptors_taken();
  Run run;
  run.program = words.empty() ? "" : words[0];
  return finish_output(run, run_words(words, run));
}
