#include "store/transaction.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "store/paths.h"
#include "store/sys_io.h"

namespace {

// A record names at most the four data files; anything longer is not one of ours.
constexpr size_t kLongestRecord = 4096;

enum class RecordState { kAbsent, kValid, kForeign, kUnreadable };

// The files a signal removes: the four data files' temporary files and the record's,
// unless a record names them for the next run. Written once under the lock, before a
// handler can run; the handler only reads them.
std::vector<std::string> temporaries;
std::string record_path;

void remove_temporaries(int signal_number) {
  if (::access(record_path.c_str(), F_OK) != 0) {
    for (const std::string& temp : temporaries) ::unlink(temp.c_str());
  }
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

std::vector<std::string> temporary_paths(const std::string& model_id) {
  std::vector<std::string> temps;
  for (const std::string& path : data_file_paths(model_id)) temps.push_back(temporary_path(path));
  temps.push_back(temporary_path(commit_record_path(model_id)));
  return temps;
}

// Whatever else bears one of the program's own names was put there by someone else, and
// removing or renaming it could destroy what they keep there.
bool own_names_are_files(const std::string& model_id) {
  std::vector<std::string> names = temporary_paths(model_id);
  names.push_back(commit_record_path(model_id));
  for (const std::string& name : names) {
    struct stat info {};
    if (io_lstat(name, info) != 0) {
      if (errno == ENOENT) continue;
      return false;
    }
    if (!S_ISREG(info.st_mode)) {
      io_fail(not_regular_error(info.st_mode), name);
      return false;
    }
  }
  return true;
}

// A temporary file that stays would be taken for a prepared copy by nobody, but the run
// must not say that all is clean while one is left.
bool remove_temporaries_of(const std::string& model_id) {
  for (const std::string& temp : temporary_paths(model_id)) {
    if (io_unlink(temp) != 0 && errno != ENOENT) return false;
  }
  return true;
}

int not_prepared(const std::string& model_id, const std::vector<FileChange>& changes) {
  const int saved = errno;
  discard_change(model_id, changes);
  errno = saved;
  return -1;
}

bool write_synced(const std::string& path, const std::string& contents) {
  const int fd = create_temporary(path);
  if (fd < 0) return false;
  const bool done =
      write_all(fd, contents.data(), contents.size(), path) >= 0 && io_fsync(fd, path) == 0;
  const int saved = errno;
  const bool closed = io_close(fd, path) == 0;
  if (!done) errno = saved;
  return done && closed;
}

// The record's removal is not synced: should a crash undo it, the record comes back naming
// copies that are all gone, and the next run removes it again, renaming nothing.
bool remove_record(const std::string& model_id, const std::string& record) {
  return io_sync_directory(data_directory(model_id)) == 0 && io_unlink(record) == 0;
}

// Only a record that was read whole may be judged; one that could not be read may still
// be a committed change, which the next run must finish.
RecordState read_whole_record(int fd, const std::string& record, std::string& text) {
  struct stat info {};
  if (io_fstat(fd, info, record) != 0) return RecordState::kUnreadable;
  if (!S_ISREG(info.st_mode)) {
    io_fail(not_regular_error(info.st_mode), record);
    return RecordState::kUnreadable;
  }
  char block[kLongestRecord + 1];
  ssize_t got = 0;
  while ((got = io_read(fd, block, sizeof block, record)) > 0 && text.size() <= kLongestRecord) {
    text.append(block, static_cast<size_t>(got));
  }
  if (got < 0) return RecordState::kUnreadable;
  return text.size() <= kLongestRecord ? RecordState::kValid : RecordState::kForeign;
}

// Turns the record's lines into the data files they name, all of them the model's.
RecordState parse_record(const std::string& text, const std::vector<std::string>& data_files,
                         std::vector<std::string>& listed) {
  if (!text.empty() && text.back() != '\n') return RecordState::kForeign;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    const std::string name = text.substr(start, end - start);
    bool known = false;
    for (const std::string& path : data_files) {
      if (file_name(path) == name) {
        listed.push_back(path);
        known = true;
      }
    }
    if (!known) return RecordState::kForeign;
    start = end + 1;
  }
  return RecordState::kValid;
}

RecordState read_record(const std::string& model_id, std::vector<std::string>& listed) {
  const std::string record = commit_record_path(model_id);
  const int fd = io_open(record, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? RecordState::kAbsent : RecordState::kUnreadable;
  std::string text;
  RecordState state = read_whole_record(fd, record, text);
  const int saved = errno;
  ::close(fd);
  errno = saved;
  if (state == RecordState::kValid) state = parse_record(text, data_file_paths(model_id), listed);
  return state;
}

// A temporary file that is gone was installed before the run was cut short.
bool install_listed(const std::vector<std::string>& listed) {
  for (const std::string& path : listed) {
    const std::string temp = temporary_path(path);
    struct stat info {};
    if (io_lstat(temp, info) != 0) {
      if (errno == ENOENT) continue;
      return false;
    }
    if (!S_ISREG(info.st_mode)) {
      io_fail(not_regular_error(info.st_mode), temp);
      return false;
    }
    if (io_rename(temp, path) != 0) return false;
  }
  return true;
}

}  // namespace

// Syncs, and why each is needed: each copy is synced before the record names it
// (prepare_data_file), or a crash could install copies whose bytes never reached the
// disk; the record is synced before it is named, or a crash could leave a record with
// no contents; the directory is synced once the record has its name, or a crash could
// keep a replaced data file and lose the record, leaving the files mixed; and once more
// after the last rename, or the record's removal could reach the disk before a rename.
// That sync also covers the copies' own names, so they need none of their own.
int prepare_change(const std::string& model_id, const std::vector<FileChange>& changes) {
  std::string names;
  for (const FileChange& change : changes) {
    if (prepare_data_file(change.path, change.rules, change.trailer) != 0) {
      return not_prepared(model_id, changes);
    }
    names += file_name(change.path) + "\n";
  }
  if (!write_synced(temporary_path(commit_record_path(model_id)), names)) {
    return not_prepared(model_id, changes);
  }
  return 0;
}

void discard_change(const std::string& model_id, const std::vector<FileChange>& changes) {
  for (const FileChange& change : changes) ::unlink(temporary_path(change.path).c_str());
  ::unlink(temporary_path(commit_record_path(model_id)).c_str());
}

// Once the record has its name the change counts as made: the next run finishes it.
ChangeResult commit_change(const std::string& model_id, const std::vector<FileChange>& changes) {
  const std::string record = commit_record_path(model_id);
  if (io_rename(temporary_path(record), record) != 0) {
    not_prepared(model_id, changes);
    return ChangeResult::kNotPrepared;
  }
  bool installed = io_sync_directory(data_directory(model_id)) == 0;
  for (const FileChange& change : changes) {
    installed = installed && io_rename(temporary_path(change.path), change.path) == 0;
  }
  installed = installed && remove_record(model_id, record);
  return installed ? ChangeResult::kInstalled : ChangeResult::kNotInstalled;
}

int recover_data_files(const std::string& model_id) {
  if (!own_names_are_files(model_id)) return -1;
  const std::string record = commit_record_path(model_id);
  std::vector<std::string> listed;
  switch (read_record(model_id, listed)) {
    case RecordState::kUnreadable:
      return -1;
    case RecordState::kValid:
      if (!install_listed(listed) || !remove_record(model_id, record)) return -1;
      break;
    case RecordState::kForeign:
      if (io_unlink(record) != 0) return -1;
      break;
    case RecordState::kAbsent:
      break;
  }
  return remove_temporaries_of(model_id) ? 0 : -1;
}

void remove_temporaries_on_signals(const std::string& model_id) {
  temporaries = temporary_paths(model_id);
  record_path = commit_record_path(model_id);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    // A signal the caller chose to ignore, as nohup does, stays ignored.
    if (::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
      continue;
    }
    std::signal(signal_number, remove_temporaries);
  }
}
