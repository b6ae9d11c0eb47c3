#include "store/transaction.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

#include "store/open_file.h"
#include "store/sys_io.h"

namespace {

// A record of a thousand steps takes well under a megabyte; anything longer is not ours.
constexpr size_t kLongestRecord = size_t{64} << 20;
constexpr size_t kRecordBlock = size_t{1} << 16;
// How often a copy is made again while another program keeps writing its data file.
constexpr int kCopyTries = 3;

enum class RecordState { kAbsent, kValid, kForeign, kUnreadable };

constexpr int kCleanedUpSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The files a signal removes: the copies, and the record before its commit unless a step
// has taken effect. Written under the lock before a handler can run; the handler only
// reads it.
struct SignalCleanup {
  std::vector<std::string> temporaries;
  std::string journal;
  std::string record;
  std::string told_recorded;  // the lines the handler writes, made before it can run
  std::string told_undone;
  volatile std::sig_atomic_t keep_journal = 0;
} signal_cleanup;

// A run that a signal stops says so, as any failure does, and whether a next run finishes
// what it began.
void remove_temporaries(int signal_number) {
  const bool committed = ::access(signal_cleanup.record.c_str(), F_OK) == 0;
  if (!committed) {
    for (const std::string& temp : signal_cleanup.temporaries) ::unlink(temp.c_str());
    if (signal_cleanup.keep_journal == 0) ::unlink(signal_cleanup.journal.c_str());
  }
  const std::string& told = committed || signal_cleanup.keep_journal != 0
                                ? signal_cleanup.told_recorded
                                : signal_cleanup.told_undone;
  if (!told.empty()) (void)!::write(STDERR_FILENO, told.data(), told.size());
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

// The record while the change is made, before its commit point gives it its own name.
std::string journal_path(const FileSet& set) { return temporary_path(commit_record_path(set)); }

// The copies, the fresh copies that recovery makes beside them, and the record being
// written again beside itself.
std::vector<std::string> temporary_paths(const FileSet& set) {
  std::vector<std::string> temps;
  for (const std::string& path : set.files) {
    temps.push_back(temporary_path(path));
    temps.push_back(temporary_path(temporary_path(path)));
  }
  temps.push_back(temporary_path(journal_path(set)));
  return temps;
}

// Everything a change leaves beside the data files before its commit point.
std::vector<std::string> leftover_paths(const FileSet& set) {
  std::vector<std::string> names = temporary_paths(set);
  names.push_back(journal_path(set));
  return names;
}

// Whatever else bears one of the program's own names was put there by someone else, and
// removing or renaming it could destroy what they keep there.
Fault own_names_are_files(const FileSet& set) {
  std::vector<std::string> names = leftover_paths(set);
  names.push_back(commit_record_path(set));
  for (const std::string& name : names) {
    struct stat info {};
    if (io_lstat(name, info) != 0) {
      if (errno == ENOENT) continue;
      return fault_from_errno(name);
    }
    if (!S_ISREG(info.st_mode)) return not_regular(info.st_mode, name);
  }
  return {};
}

// A temporary file that stays would be taken for a prepared copy by nobody, but the run
// must not say that all is clean while one is left. Only what is there is removed, so
// that a run with nothing to remove works on a read-only file system.
Fault remove_temporaries_of(const FileSet& set) {
  for (const std::string& temp : leftover_paths(set)) {
    struct stat info {};
    if (io_lstat(temp, info) != 0) {
      if (errno == ENOENT) continue;
      return fault_from_errno(temp);
    }
    if (io_unlink(temp) != 0 && errno != ENOENT) return fault_from_errno(temp);
  }
  return {};
}

// Leftovers that cannot be removed now are removed by the next run's recovery.
void discard(const Change& change) {
  for (const std::string& temp : leftover_paths(change.set)) ::unlink(temp.c_str());
}

// The record, or its copy beside it, as the user knows it.
std::string commit_record_path_of(const std::string& path) {
  return path.substr(0, path.find(".$$$"));
}

// The record is named as what it is: the record of the change in its directory.
Fault write_synced(const std::string& path, const std::string& contents) {
  Descriptor file;
  Fault fault = create_temporary(path, file);
  if (!failed(fault)) fault = write_all(file.fd, contents.data(), contents.size(), path);
  if (!failed(fault) && io_fsync(file.fd, path) != 0) fault = fault_from_errno(path);
  if (!failed(fault)) fault = close_checked(file, path);
  if (failed(fault)) fault = about_own_file(fault, commit_record_path_of(path), "writing it");
  return fault;
}

// The record's removal is not synced: should a crash undo it, the record comes back naming
// copies that are all gone, and the next run removes it again, renaming nothing.
Fault remove_record(const FileSet& set, const std::string& record) {
  const Fault fault = sync_directory(set.directory);
  if (failed(fault)) return fault;
  return io_unlink(record) == 0 ? Fault{} : fault_from_errno(record);
}

// Only a record that was read whole may be judged; one that could not be read may still
// be a change that the next run must finish.
RecordState read_whole_record(int fd, const std::string& record, std::string& text, Fault& fault) {
  struct stat info {};
  if (io_fstat(fd, info, record) != 0) {
    fault = fault_from_errno(record);
    return RecordState::kUnreadable;
  }
  if (!S_ISREG(info.st_mode)) {
    fault = not_regular(info.st_mode, record);
    return RecordState::kUnreadable;
  }
  std::string block(kRecordBlock, '\0');
  ssize_t got = 0;
  while ((got = io_read(fd, block.data(), block.size(), record)) > 0 &&
         text.size() <= kLongestRecord) {
    text.append(block, 0, static_cast<size_t>(got));
  }
  if (got < 0) {
    fault = fault_from_errno(record);
    return RecordState::kUnreadable;
  }
  if (text.size() <= kLongestRecord) return RecordState::kValid;
  fault = {0, record, "longer than any record this program writes"};
  return RecordState::kForeign;
}

// fault tells why a record is unreadable or foreign.
RecordState read_record(const std::string& record, const FileSet& set, ChangeRecord& parsed,
                        Fault& fault) {
  Descriptor file(io_open(record, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (file.fd < 0) {
    if (errno == ENOENT) return RecordState::kAbsent;
    fault = fault_from_errno(record);
    return RecordState::kUnreadable;
  }
  std::string text;
  const RecordState state = read_whole_record(file.fd, record, text, fault);
  if (state != RecordState::kValid) return state;
  fault = parse_record(text, set, parsed);
  if (!failed(fault)) return RecordState::kValid;
  fault.subject = record;
  return RecordState::kForeign;
}

// A record this program cannot have written is removed, and the user told what it was.
Fault remove_foreign(const std::string& record, Fault why, std::vector<Fault>& notes) {
  if (io_unlink(record) != 0) return fault_from_errno(record);
  why.why = "not a record of this program (" + reason(why) + "), removed";
  notes.push_back(why);
  return {};
}

bool action_took_effect(const Change& change) {
  for (size_t i = 0; i < change.steps.size(); ++i) {
    if (change.done[i] && change.recorded[i] && !change.steps[i].action.empty() &&
        changes_files(change.steps[i])) {
      return true;
    }
  }
  return false;
}

// The steps that are done and that the record on disk says are.
std::vector<bool> committable(const Change& change) {
  std::vector<bool> take(change.steps.size());
  for (size_t i = 0; i < take.size(); ++i) take[i] = change.done[i] && change.recorded[i];
  return take;
}

std::vector<FileChange> done_changes(const Change& change) {
  return merged_changes(change.set, change.steps, committable(change));
}

ChangeRecord record_of(const Change& change) {
  ChangeRecord record{change.steps, committable(change), {}, {}};
  for (size_t i = 0; i < change.prepared.size(); ++i) {
    record.read.push_back({change.prepared[i].path, change.read[i]});
  }
  return record;
}

// Copies made for other steps than these are removed first, so that none is left over.
Fault prepare_copies(Change& change, const std::vector<FileChange>& files) {
  for (const FileChange& old : change.prepared) ::unlink(temporary_path(old.path).c_str());
  change.prepared.clear();
  change.read.clear();
  change.record_current = false;
  for (const FileChange& file : files) {
    FileIdentity read;
    const Fault fault = prepare_data_file(file.path, file.rules, file.trailer, &read);
    if (failed(fault)) return fault;
    change.prepared.push_back(file);
    change.read.push_back(read);
  }
  return {};
}

// Another program, the sibling tool or the driver among them, may write a data file while
// the change is made; its copy is then made again from what the file holds now.
Fault copies_are_current(Change& change) {
  for (int tries = 0;; ++tries) {
    std::string changed;
    for (size_t i = 0; i < change.prepared.size(); ++i) {
      const FileChange& file = change.prepared[i];
      struct stat now {};
      if (io_stat(file.path, now) != 0) return fault_from_errno(file.path);
      if (same_identity(identity_of(now), change.read[i])) continue;
      changed = file.path;
      if (tries == kCopyTries) break;
      change.record_current = false;
      const Fault fault = prepare_data_file(file.path, file.rules, file.trailer, &change.read[i]);
      if (failed(fault)) return fault;
    }
    if (changed.empty()) return {};
    if (tries == kCopyTries) {
      return {0, changed,
              "kept changing while this change was made; tried " + std::to_string(kCopyTries) +
                  " times"};
    }
  }
}

// A mark that may have missed the disk cannot be trusted, nor a record that names copies
// no longer there: the whole record is written again beside it and put in its place.
Fault rewrite_record(Change& change) {
  const std::string journal = journal_path(change.set);
  const std::string beside = temporary_path(journal);
  Fault fault = write_synced(beside, record_text(record_of(change)));
  if (!failed(fault) && io_rename(beside, journal) != 0) fault = fault_from_errno(journal);
  if (!failed(fault)) fault = sync_directory(change.set.directory);
  if (!failed(fault)) change.record_current = true;
  return fault;
}

// Before the commit point a change is dropped, unless an action took effect: the record
// must then stay, so that the next run commits what the print system already holds.
void keep_or_drop(Change& change) {
  change.record_stays = action_took_effect(change);
  if (!change.record_stays) discard(change);
}

// The directories besides the set's that hold a data file, where a trusted link leads.
std::vector<std::string> other_directories(const FileSet& set) {
  std::vector<std::string> directories;
  for (const std::string& path : set.files) {
    const std::string directory = path.substr(0, path.rfind('/'));
    if (directory == set.directory ||
        std::find(directories.begin(), directories.end(), directory) != directories.end()) {
      continue;
    }
    directories.push_back(directory);
  }
  return directories;
}

Fault sync_other_directories(const FileSet& set) {
  for (const std::string& directory : other_directories(set)) {
    const Fault fault = sync_directory(directory);
    if (failed(fault)) return fault;
  }
  return {};
}

Fault install(const Change& change) {
  const std::string record = commit_record_path(change.set);
  Fault fault = sync_directory(change.set.directory);
  for (size_t i = 0; i < change.prepared.size() && !failed(fault); ++i) {
    const std::string& path = change.prepared[i].path;
    if (io_rename(temporary_path(path), path) != 0) fault = fault_from_errno(path);
  }
  if (!failed(fault)) fault = sync_other_directories(change.set);
  return failed(fault) ? fault : remove_record(change.set, record);
}

Change change_from(const FileSet& set, const ChangeRecord& parsed) {
  Change change = plan_change(set, parsed.steps);
  for (size_t i = 0; i < parsed.marked.size(); ++i) {
    if (parsed.marked[i]) change.done[i] = change.recorded[i] = true;
  }
  return change;
}

const FileIdentity* read_as(const ChangeRecord& parsed, const std::string& path) {
  for (const ReadAs& read : parsed.read) {
    if (read.path == path) return &read.identity;
  }
  return nullptr;
}

// A data file that changed since its copy was made gets a copy made afresh from what it
// holds now, which replaces the old copy in one rename: a crash at any point leaves either
// copy whole, and the data file untouched until the copy is renamed over it.
Fault copy_afresh_if_changed(const FileChange& file, const ChangeRecord& parsed) {
  const FileIdentity* recorded = read_as(parsed, file.path);
  struct stat now {};
  if (recorded == nullptr) return {};
  if (io_stat(file.path, now) != 0) return errno == ENOENT ? Fault{} : fault_from_errno(file.path);
  if (same_identity(identity_of(now), *recorded)) return {};
  const std::string temp = temporary_path(file.path);
  const std::string beside = temporary_path(temp);
  const Fault fault = prepare_data_file(file.path, file.rules, file.trailer, nullptr, beside);
  if (failed(fault)) return fault;
  return io_rename(beside, temp) == 0 ? Fault{} : fault_from_errno(temp);
}

// A copy that is gone was installed before the run was cut short.
Fault install_left_copies(const std::vector<FileChange>& files, const ChangeRecord& parsed) {
  for (const FileChange& file : files) {
    const std::string temp = temporary_path(file.path);
    struct stat info {};
    if (io_lstat(temp, info) != 0) {
      if (errno == ENOENT) continue;
      return fault_from_errno(temp);
    }
    if (!S_ISREG(info.st_mode)) return not_regular(info.st_mode, temp);
    Fault fault = copy_afresh_if_changed(file, parsed);
    if (!failed(fault) && io_rename(temp, file.path) != 0) fault = fault_from_errno(file.path);
    if (failed(fault)) return fault;
  }
  return {};
}

Fault finish_committed(const FileSet& set, std::vector<Fault>& notes) {
  const std::string record = commit_record_path(set);
  ChangeRecord parsed;
  Fault fault;
  switch (read_record(record, set, parsed, fault)) {
    case RecordState::kUnreadable:
      return fault;
    case RecordState::kForeign:
      return remove_foreign(record, fault, notes);
    case RecordState::kAbsent:
      return {};
    case RecordState::kValid:
      break;
  }
  std::vector<FileChange> files;
  for (const std::string& path : parsed.listed) files.push_back({path, {}, ""});
  for (const FileChange& file : done_changes(change_from(set, parsed))) files.push_back(file);
  fault = install_left_copies(files, parsed);
  if (!failed(fault)) fault = sync_other_directories(set);
  return failed(fault) ? fault : remove_record(set, record);
}

// A record that is not ours, or in which no action took effect, goes with the temporary
// files.
Fault settle_journal(const FileSet& set, std::vector<Fault>& notes) {
  ChangeRecord parsed;
  Fault fault;
  const std::string journal = journal_path(set);
  const RecordState state = read_record(journal, set, parsed, fault);
  if (state == RecordState::kUnreadable) return fault;
  if (state == RecordState::kForeign) return remove_foreign(journal, fault, notes);
  if (state == RecordState::kAbsent) return {};
  Change change = change_from(set, parsed);
  if (!action_took_effect(change)) return {};
  signal_cleanup.keep_journal = 1;
  return commit_change(change);
}

}  // namespace

Change plan_change(const FileSet& set, std::vector<ChangeStep> steps) {
  Change change;
  change.set = set;
  change.steps = std::move(steps);
  for (const ChangeStep& step : change.steps) change.done.push_back(step.action.empty());
  change.recorded = change.done;
  return change;
}

std::string commit_record_path(const FileSet& set) {
  return set.directory + "/vtpapertoollpr.commit";
}

// Syncs, and why each is needed: each copy is synced before the record names it
// (prepare_data_file), or a crash could install copies whose bytes never reached the
// disk; the record and its name in the directory are synced before the first action, or
// a crash could lose what the print system holds; each mark is synced before the next
// action starts, for the same reason; the directory is synced once the record has its
// final name, or a crash could keep a replaced data file and lose the record, leaving the
// files mixed; and once more after the last rename, or the record's removal could reach
// the disk before a rename. That sync also covers the copies' own names, so they need
// none of their own.
Fault prepare_change(Change& change) {
  const std::vector<bool> every(change.steps.size(), true);
  Fault fault = prepare_copies(change, merged_changes(change.set, change.steps, every));
  if (!failed(fault)) {
    fault = write_synced(journal_path(change.set), record_text(record_of(change)));
  }
  if (!failed(fault)) fault = sync_directory(change.set.directory);
  if (failed(fault)) {
    discard(change);
  } else {
    change.record_current = true;
  }
  return fault;
}

Fault record_step_done(Change& change, size_t step) {
  change.done[step] = true;
  if (!changes_files(change.steps[step])) {
    change.recorded[step] = true;
    return {};
  }
  signal_cleanup.keep_journal = 1;
  const std::string journal = journal_path(change.set);
  const std::string mark = mark_line(step);
  Descriptor file(io_open(journal, O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC));
  Fault fault = file.fd < 0 ? fault_from_errno(journal)
                            : write_all(file.fd, mark.data(), mark.size(), journal);
  if (!failed(fault) && io_fdatasync(file.fd, journal) != 0) fault = fault_from_errno(journal);
  if (!failed(fault)) fault = close_checked(file, journal);
  if (failed(fault))
    fault = about_own_file(fault, commit_record_path(change.set), "marking a step");
  change.recorded[step] = true;
  // A mark that failed is never trusted, even where its bytes may have reached the disk:
  // the record is written whole again, or the step is left out of the change.
  if (failed(fault) && failed(rewrite_record(change))) change.recorded[step] = false;
  return change.recorded[step] ? Fault{} : fault;
}

// Once the record has its name the change counts as made: the next run finishes it.
Fault commit_change(Change& change) {
  change.record_stays = false;
  const std::vector<FileChange> wanted = done_changes(change);
  if (wanted.empty()) {
    discard(change);
    return {};
  }
  Fault fault = wanted == change.prepared ? Fault{} : prepare_copies(change, wanted);
  if (!failed(fault)) fault = copies_are_current(change);
  if (!failed(fault) && !change.record_current) fault = rewrite_record(change);
  // Copies beside a link's target must be there for the record to name them.
  if (!failed(fault)) fault = sync_other_directories(change.set);
  if (failed(fault)) {
    keep_or_drop(change);
    return fault;
  }
  const std::string record = commit_record_path(change.set);
  if (io_rename(journal_path(change.set), record) != 0) {
    fault = fault_from_errno(record);
    keep_or_drop(change);
    return fault;
  }
  fault = install(change);
  change.record_stays = failed(fault);
  return fault;
}

Fault recover_data_files(const FileSet& set, std::vector<Fault>& notes) {
  Fault fault = own_names_are_files(set);
  if (!failed(fault)) fault = finish_committed(set, notes);
  if (!failed(fault)) fault = settle_journal(set, notes);
  return failed(fault) ? fault : remove_temporaries_of(set);
}

void remove_temporaries_on_signals(const FileSet& set) {
  signal_cleanup.temporaries = temporary_paths(set);
  signal_cleanup.journal = journal_path(set);
  signal_cleanup.record = commit_record_path(set);
  for (const int signal_number : kCleanedUpSignals) {
    struct sigaction current {};
    // A signal the caller chose to ignore, as nohup does, stays ignored.
    if (::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
      continue;
    }
    std::signal(signal_number, remove_temporaries);
  }
}

void tell_signals_as(const std::string& program) {
  signal_cleanup.told_recorded =
      program + ": stopped by a signal; the change is recorded, and the next run finishes it\n";
  signal_cleanup.told_undone = program + ": stopped by a signal; nothing was changed\n";
}

void stop_removing_temporaries_on_signals() {
  for (const int signal_number : kCleanedUpSignals) {
    struct sigaction current {};
    if (::sigaction(signal_number, nullptr, &current) == 0 &&
        current.sa_handler == remove_temporaries) {
      std::signal(signal_number, SIG_DFL);
    }
  }
}
