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
#include "ops/format_catalogue.h"
#include "ops/format_check.h"
#include "ops/format_list.h"
#include "ops/format_ops.h"
#include "store/lock.h"
#include "store/seam.h"
#include "store/transaction.h"

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 255;
constexpr int kProblemsFound = 1;
// As for any command-line tool: nothing was done, because the command line said nothing
// this program can do.
constexpr int kUsageError = 2;
constexpr char kVersionLine[] = "vtpapertoollpr 0.2\n";
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

// Adding replaces a format of the same name in the same change. Standard output names a
// failure only where the format on file was at stake, as it always has.
int run_add(const Run& run) {
  Fault fault;
  switch (add_label_format(run.request, fault)) {
    case kInstallFailed:
      return failure(run, left_for_next_run(fault), true);
    case kDataFileFailed:
      return failure(run, fault, true);
    case kEntryFailed:
    case kSiblingFailed:
      return failure(run, fault, false);
    default:
      return kSuccess;
  }
}

// Scripts get the name's bytes as they gave them; a terminal gets no control byte that
// could move its cursor or change its settings.
std::string shown_name(const std::string& name) {
  return ::isatty(STDOUT_FILENO) == 1 ? escaped_name(name) : name;
}

int run_delete(const Run& run) {
  Fault fault;
  switch (delete_label_format(run.request, fault)) {
    case kInstallFailed:
      return failure(run, left_for_next_run(fault), true);
    case kDataFileFailed:
      return failure(run, fault, true);
    case kSiblingFailed:
      return failure(run, fault, false);
    case kNotFound:
      std::printf("Not found '%s'\n", shown_name(run.request.label_name).c_str());
      return kSuccess;
    default:
      return kSuccess;
  }
}

// What is printed only once it is whole, so that a failure never leaves a part.
int print_whole(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  return kSuccess;
}

int run_list(const Run& run) {
  std::string listing;
  Fault fault;
  if (list_label_formats(run.request, listing, fault) != kDone) return failure(run, fault, false);
  return print_whole(listing);
}

// Like fsck, a check that found problems says so in its status; the lines tell what.
int run_check(const Run& run) {
  std::string report;
  Fault fault;
  if (check_label_formats(run.request, report, fault) != kDone) {
    return failure(run, fault, false);
  }
  std::fwrite(report.data(), 1, report.size(), stdout);
  return report.empty() ? kSuccess : kProblemsFound;
}

int run_repair(const Run& run) {
  std::string report;
  Fault fault;
  const int result = repair_label_formats(run.request, report, fault);
  switch (result) {
    case kDone:
    case kNotMended:
      break;
    case kInstallFailed:
      return failure(run, left_for_next_run(fault), false);
    default:
      return failure(run, fault, false);
  }
  std::fwrite(report.data(), 1, report.size(), stdout);
  return result == kNotMended ? kProblemsFound : kSuccess;
}

int run_export(const Run& run) {
  std::string catalogue;
  Fault fault;
  if (export_label_formats(run.request, catalogue, fault) != kDone) {
    return failure(run, fault, false);
  }
  return print_whole(catalogue);
}

// The lines of what changed come first, also when a later format failed: they are
// committed, and a script must learn of them.
int run_apply(const Run& run) {
  std::string changes;
  Fault fault;
  const int result = apply_catalogue(run.request, run.catalogue, changes, fault);
  print_whole(changes);
  switch (result) {
    case kDone:
      return kSuccess;
    case kInstallFailed:
      return failure(run, left_for_next_run(fault), false);
    default:
      return failure(run, fault, false);
  }
}

// --dry-run of -n or -d: the line of what the command would change.
int run_preview(Command command, const Run& run) {
  std::string line;
  Fault fault;
  const int result = command == Command::kAdd ? preview_add(run.request, line, fault)
                                              : preview_delete(run.request, line, fault);
  return result == kDone ? print_whole(line) : failure(run, fault, false);
}

int run_command(Command command, const Run& run) {
  if (run.request.dry_run && (command == Command::kAdd || command == Command::kDelete)) {
    return run_preview(command, run);
  }
  switch (command) {
    case Command::kExport:
      return run_export(run);
    case Command::kApply:
      return run_apply(run);
    case Command::kAdd:
      return run_add(run);
    case Command::kDelete:
      return run_delete(run);
    case Command::kCheck:
      return run_check(run);
    case Command::kRepair:
      return run_repair(run);
    default:
      return run_list(run);
  }
}

// The commands that stand alone after the program name, and print only what they find.
bool is_report(Command command) {
  return command == Command::kList || command == Command::kCheck ||
         command == Command::kRepair || command == Command::kExport || command == Command::kApply;
}

// Returns false when the run must stop, having said why. A model whose data directory is
// missing has no driver installed: that fails as a missing data file would, so standard
// output names it only for a delete.
bool take_lock(Command command, const Run& run, Descriptor& lock) {
  const std::string directory = data_directory(run.request.model_id);
  const int64_t patience = lock_patience_ms();
  Fault fault = lock_directory(directory, std::min(patience, kQuietWaitMs), lock);
  if (fault.error == EWOULDBLOCK && patience > kQuietWaitMs) {
    report(run, "lock on " + directory,
           "held by another run; waiting up to " + std::to_string(patience / 1000) + " s");
    fault = lock_directory(directory, patience - kQuietWaitMs, lock);
  }
  if (!failed(fault)) return true;
  const std::string why = reason(fault);
  if (fault.error == ENOENT) {
    if (command == Command::kDelete) print_system_error(fault.error);
    report(run, directory, why);
    return false;
  }
  print_system_error(fault.error);
  report(run, "lock on " + directory,
         fault.error == EWOULDBLOCK
             ? why + " (held by another run for " + std::to_string(patience / 1000) + " s)"
             : why);
  return false;
}

// Leftovers of a run that was cut short are dealt with only under the lock: without it
// they could be another run's.
int run_locked(Command command, const Run& run) {
  Descriptor lock;
  if (!take_lock(command, run, lock)) return kFailure;
  const FileSet set = model_files(run.request.model_id);
  remove_temporaries_on_signals(set);
  const Fault fault = recover_data_files(set);
  if (failed(fault)) return failure(run, fault, !is_report(command));
  return run_command(command, run);
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
