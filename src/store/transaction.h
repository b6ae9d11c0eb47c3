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
  LineRule rule;
  std::string trailer;
};

enum class ChangeResult {
  kInstalled,     // every data file holds its new contents
  kNotPrepared,   // nothing changed: no data file, no temporary file, no record
  kNotInstalled,  // committed but cut short: the record stays for the next run
};

// Prepares every change's "<path>.$$$"; then commits by renaming a synced record of the
// files' names into place as "vtpapertoollpr.commit" and syncing the directory; then
// renames each temporary file over its data file, syncs the directory, removes the record
// and syncs again. Only the holder of the model's lock may call it. On kNotPrepared and
// kNotInstalled errno and io_failed_subject() tell the first failure.
ChangeResult change_data_files(const std::string& model_id, const std::vector<FileChange>& changes);

// Run first under the lock. With a record: renames each listed temporary file that is
// still there over its data file and removes the record. Without one, or with a record
// that is not this program's (not a regular file, unreadable, or naming other files):
// removes it and every temporary file of the model, renaming nothing. Returns 0, or -1
// with errno set when a rename, sync or removal failed; the record then stays.
int recover_data_files(const std::string& model_id);

// Makes SIGINT, SIGTERM and SIGHUP remove the model's temporary files, unless a record
// names them for the next run, before they end the program as they would have. Only the holder of
// the lock may call it: before, the files could be another run's.
void remove_temporaries_on_signals(const std::string& model_id);

#endif  // VTPAPERTOOL_STORE_TRANSACTION_H_
