#include "store/transaction.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "store/format_id.h"
#include "store/paths.h"
#include "store/sys_io.h"

namespace {

// A record names at most the four data files; anything longer is not one of ours.
constexpr size_t kLongestRecord = 4096;

enum class RecordState { kAbsent, kValid, kForeign, kUnreadable };

// The files a signal removes: the four data files' temporary files and the record's,
// unless a record names them for the next run. Written once under the lock, before a
// handler can run; the handler only reads them.
constexpr size_t kTemporaryCount = 5;
std::string temporaries[kTemporaryCount];
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

// Failures are ignored: a prepare removes its temporary file again before creating it.
void remove_temporaries_of(const std::string& model_id) {
  for (const std::string& temp : temporary_paths(model_id)) ::unlink(temp.c_str());
}

std::string file_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

ChangeResult not_prepared(const std::vector<FileChange>& changes, const std::string& record) {
  const int saved = errno;
  for (const FileChange& change : changes) ::unlink(temporary_path(change.path).c_str());
  ::unlink(temporary_path(record).c_str());
  errno = saved;
  return ChangeResult::kNotPrepared;
}

bool prepare_all(const std::vector<FileChange>& changes) {
  for (const FileChange& change : changes) {
    forget_format_ids(change.path);
    if (prepare_data_file(change.path, change.rule, change.trailer) != 0) return false;
  }
  return true;
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

// Once the record has its name the change counts as made: the next run finishes it.
bool commit(const std::string& record, const std::vector<FileChange>& changes) {
  std::string names;
  for (const FileChange& change : changes) names += file_name(change.path) + "\n";
  const std::string temp = temporary_path(record);
  return write_synced(temp, names) && io_rename(temp, record) == 0;
}

bool remove_record(const std::string& model_id, const std::string& record) {
  const std::string directory = data_directory(model_id);
  return io_sync_directory(directory) == 0 && io_unlink(record) == 0 &&
         io_sync_directory(directory) == 0;
}

// Opening a record can fail because it is not ours (a link, no permission, a socket) or
// because the system failed; only the latter must keep the record for the next run.
RecordState refused_or_failed(int error) {
  if (error == ENOENT) return RecordState::kAbsent;
  if (error == ELOOP || error == EACCES || error == EPERM || error == ENXIO) {
    return RecordState::kForeign;
  }
  return RecordState::kUnreadable;
}

RecordState read_whole_record(int fd, const std::string& record, std::string& text) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return RecordState::kForeign;
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
  if (fd < 0) return refused_or_failed(errno);
  std::string text;
  RecordState state = read_whole_record(fd, record, text);
  const int saved = errno;
  ::close(fd);
  errno = saved;
  if (state == RecordState::kValid) state = parse_record(text, data_file_paths(model_id), listed);
  return state;
}

// A temporary file that is gone was installed before the run was cut short; one that is
// not a regular file is not ours and is removed with the rest.
bool install_listed(const std::vector<std::string>& listed) {
  for (const std::string& path : listed) {
    const std::string temp = temporary_path(path);
    struct stat info {};
    if (::lstat(temp.c_str(), &info) != 0) {
      if (errno == ENOENT) continue;
      return false;
    }
    forget_format_ids(path);
    if (S_ISREG(info.st_mode) && io_rename(temp, path) != 0) return false;
  }
  return true;
}

bool remove_foreign_record(const std::string& record) {
  if (io_unlink(record) == 0) return true;
  return errno == EISDIR && ::rmdir(record.c_str()) == 0;
}

}  // namespace

ChangeResult change_data_files(const std::string& model_id,
                               const std::vector<FileChange>& changes) {
  const std::string record = commit_record_path(model_id);
  if (!prepare_all(changes) || !commit(record, changes)) return not_prepared(changes, record);
  bool installed = io_sync_directory(data_directory(model_id)) == 0;
  for (const FileChange& change : changes) {
    installed = installed && io_rename(temporary_path(change.path), change.path) == 0;
  }
  installed = installed && remove_record(model_id, record);
  return installed ? ChangeResult::kInstalled : ChangeResult::kNotInstalled;
}

int recover_data_files(const std::string& model_id) {
  const std::string record = commit_record_path(model_id);
  std::vector<std::string> listed;
  switch (read_record(model_id, listed)) {
    case RecordState::kUnreadable:
      return -1;
    case RecordState::kValid:
      if (!install_listed(listed) || !remove_record(model_id, record)) return -1;
      break;
    case RecordState::kForeign:
      if (!remove_foreign_record(record)) return -1;
      break;
    case RecordState::kAbsent:
      break;
  }
  remove_temporaries_of(model_id);
  return 0;
}

void remove_temporaries_on_signals(const std::string& model_id) {
  const std::vector<std::string> temps = temporary_paths(model_id);
  for (size_t i = 0; i < kTemporaryCount; ++i) temporaries[i] = temps[i];
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
