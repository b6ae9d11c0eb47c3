// Changes several of a model's data files as one: all of them or none, even when the
// program dies half-way, because the next run finishes a change that was committed.
#ifndef VTPAPERTOOL_STORE_TRANSACTION_H_
#define VTPAPERTOOL_STORE_TRANSACTION_H_

#include <string>
#include <vector>

#include "store/rewrite.h"

// One data file's part of a change: prepare_data_file's arguments.
struct FileChange {
  std::string path;
  std::vector<LineRule> rules;
  std::string trailer;
};

enum class ChangeResult {
  kInstalled,     // every data file holds its new contents
  kNotPrepared,   // nothing changed: no data file, no temporary file, no record
  kNotInstalled,  // committed but cut short: the record stays for the next run
};

// Writes and syncs every change's "<path>.$$$" and the record of their names, without
// touching a data file, so that nothing that can fail is left for commit_change. Only the
// holder of the model's lock may call it. Returns 0, or -1 with errno and
// io_failed_subject() telling the first failure; no temporary file is then left.
int prepare_change(const std::string& model_id, const std::vector<FileChange>& changes);

// Removes what prepare_change wrote; no data file changes.
void discard_change(const std::string& model_id, const std::vector<FileChange>& changes);

// Commits a prepared change by giving its record the name "vtpapertoollpr.commit", then
// renames each temporary file over its data file and removes the record. On kNotPrepared
// (the record could not be named) the temporary files are removed; on kNotPrepared and
// kNotInstalled errno and io_failed_subject() tell the failure.
ChangeResult commit_change(const std::string& model_id, const std::vector<FileChange>& changes);

// Run first under the lock. Refuses, touching nothing, while an entry that bears the
// name of the record or of a temporary file is not a regular file. With a record:
// renames each listed temporary file that is still there over its data file and removes
// the record. With a record that this program cannot have written (too long, without its
// last line feed, naming other files): removes it. Then removes every temporary file.
// Returns 0, or -1 with errno set when an entry is in the way or a call failed; a record
// that could not be read whole, or whose change could not be finished, then stays with
// every temporary file, for the next run.
int recover_data_files(const std::string& model_id);

// Makes SIGINT, SIGTERM and SIGHUP remove the model's temporary files, unless a record
// names them for the next run, before they end the program as they would have. Only the holder of
// the lock may call it: before, the files could be another run's.
void remove_temporaries_on_signals(const std::string& model_id);

#endif  // VTPAPERTOOL_STORE_TRANSACTION_H_
