#include "store/transaction.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "store/open_file.h"
#include "store/sys_io.h"

namespace {

// A record names at most the set's files; anything longer is not one of ours.
constexpr size_t kLongestRecord = 4096;

enum class RecordState { kAbsent, kValid, kForeign, kUnreadable };

// The files a signal removes: the data files' temporary files and the record's, unless a
// record names them for the next run. Written once under the lock, before a handler can
// run; the handler only reads it.
struct SignalCleanup {
  std::vector<std::string> temporaries;
  std::string record;
} signal_cleanup;

void remove_temporaries(int signal_number) {
  if (::access(signal_cleanup.record.c_str(), F_OK) != 0) {
    for (const std::string& temp : signal_cleanup.temporaries) ::unlink(temp.c_str());
  }
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

std::vector<std::string> temporary_paths(const FileSet& set) {
  std::vector<std::string> temps;
  for (const std::string& path : set.files) temps.push_back(temporary_path(path));
  temps.push_back(temporary_path(commit_record_path(set)));
  return temps;
}

// Whatever else bears one of the program's own names was put there by someone else, and
// removing or renaming it could destroy what they keep there.
Fault own_names_are_files(const FileSet& set) {
  std::vector<std::string> names = temporary_paths(set);
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
// must not say that all is clean while one is left.
Fault remove_temporaries_of(const FileSet& set) {
  for (const std::string& temp : temporary_paths(set)) {
    if (io_unlink(temp) != 0 && errno != ENOENT) return fault_from_errno(temp);
  }
  return {};
}

Fault write_synced(const std::string& path, const std::string& contents) {
  Descriptor file;
  Fault fault = create_temporary(path, file);
  if (!failed(fault)) fault = write_all(file.fd, contents.data(), contents.size(), path);
  if (!failed(fault) && io_fsync(file.fd, path) != 0) fault = fault_from_errno(path);
  if (!failed(fault)) fault = close_checked(file, path);
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
// be a committed change, which the next run must finish.
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
  char block[kLongestRecord + 1];
  ssize_t got = 0;
  while ((got = io_read(fd, block, sizeof block, record)) > 0 && text.size() <= kLongestRecord) {
    text.append(block, static_cast<size_t>(got));
  }
  if (got < 0) {
    fault = fault_from_errno(record);
    return RecordState::kUnreadable;
  }
  return text.size() <= kLongestRecord ? RecordState::kValid : RecordState::kForeign;
}

// Turns the record's lines into the files they name, all of them the set's.
RecordState parse_record(const std::string& text, const FileSet& set,
                         std::vector<std::string>& listed) {
  if (!text.empty() && text.back() != '\n') return RecordState::kForeign;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find('\n', start);
    const std::string name = text.substr(start, end - start);
    bool known = false;
    for (const std::string& path : set.files) {
      if (file_name(path) != name) continue;
      listed.push_back(path);
      known = true;
    }
    if (!known) return RecordState::kForeign;
    start = end + 1;
  }
  return RecordState::kValid;
}

RecordState read_record(const FileSet& set, std::vector<std::string>& listed, Fault& fault) {
  const std::string record = commit_record_path(set);
  Descriptor file(io_open(record, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (file.fd < 0) {
    if (errno == ENOENT) return RecordState::kAbsent;
    fault = fault_from_errno(record);
    return RecordState::kUnreadable;
  }
  std::string text;
  const RecordState state = read_whole_record(file.fd, record, text, fault);
  return state == RecordState::kValid ? parse_record(text, set, listed) : state;
}

// A temporary file that is gone was installed before the run was cut short.
Fault install_listed(const std::vector<std::string>& listed) {
  for (const std::string& path : listed) {
    const std::string temp = temporary_path(path);
    struct stat info {};
    if (io_lstat(temp, info) != 0) {
      if (errno == ENOENT) continue;
      return fault_from_errno(temp);
    }
    if (!S_ISREG(info.st_mode)) return not_regular(info.st_mode, temp);
    if (io_rename(temp, path) != 0) return fault_from_errno(path);
  }
  return {};
}

Fault finish_recorded(const FileSet& set, const std::string& record,
                      const std::vector<std::string>& listed) {
  const Fault fault = install_listed(listed);
  return failed(fault) ? fault : remove_record(set, record);
}

}  // namespace

std::string commit_record_path(const FileSet& set) {
  return set.directory + "/vtpapertoollpr.commit";
}

// Syncs, and why each is needed: each copy is synced before the record names it
// (prepare_data_file), or a crash could install copies whose bytes never reached the
// disk; the record is synced before it is named, or a crash could leave a record with
// no contents; the directory is synced once the record has its name, or a crash could
// keep a replaced data file and lose the record, leaving the files mixed; and once more
// after the last rename, or the record's removal could reach the disk before a rename.
// That sync also covers the copies' own names, so they need none of their own.
Fault prepare_change(const FileSet& set, const std::vector<FileChange>& changes) {
  std::string names;
  Fault fault;
  for (const FileChange& change : changes) {
    fault = prepare_data_file(change.path, change.rules, change.trailer);
    if (failed(fault)) break;
    names += file_name(change.path) + "\n";
  }
  if (!failed(fault)) fault = write_synced(temporary_path(commit_record_path(set)), names);
  if (failed(fault)) discard_change(set, changes);
  return fault;
}

// Leftovers that cannot be removed now are removed by the next run's recovery.
void discard_change(const FileSet& set, const std::vector<FileChange>& changes) {
  for (const FileChange& change : changes) ::unlink(temporary_path(change.path).c_str());
  ::unlink(temporary_path(commit_record_path(set)).c_str());
}

// Once the record has its name the change counts as made: the next run finishes it.
ChangeResult commit_change(const FileSet& set, const std::vector<FileChange>& changes,
                           Fault& fault) {
  const std::string record = commit_record_path(set);
  if (io_rename(temporary_path(record), record) != 0) {
    fault = fault_from_errno(record);
    discard_change(set, changes);
    return ChangeResult::kNotPrepared;
  }
  fault = sync_directory(set.directory);
  for (size_t i = 0; i < changes.size() && !failed(fault); ++i) {
    if (io_rename(temporary_path(changes[i].path), changes[i].path) != 0) {
      fault = fault_from_errno(changes[i].path);
    }
  }
  if (!failed(fault)) fault = remove_record(set, record);
  return failed(fault) ? ChangeResult::kNotInstalled : ChangeResult::kInstalled;
}

Fault recover_data_files(const FileSet& set) {
  Fault fault = own_names_are_files(set);
  if (failed(fault)) return fault;
  const std::string record = commit_record_path(set);
  std::vector<std::string> listed;
  switch (read_record(set, listed, fault)) {
    case RecordState::kUnreadable:
      return fault;
    case RecordState::kValid:
      fault = finish_recorded(set, record, listed);
      break;
    case RecordState::kForeign:
      if (io_unlink(record) != 0) fault = fault_from_errno(record);
      break;
    case RecordState::kAbsent:
      break;
  }
  return failed(fault) ? fault : remove_temporaries_of(set);
}

void remove_temporaries_on_signals(const FileSet& set) {
  signal_cleanup.temporaries = temporary_paths(set);
  signal_cleanup.record = commit_record_path(set);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    // A signal the caller chose to ignore, as nohup does, stays ignored.
    if (::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
      continue;
    }
    std::signal(signal_number, remove_temporaries);
  }
}
