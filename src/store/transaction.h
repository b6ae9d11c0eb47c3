// Changes several of a model's data files as one: all of them or none, even when the
// program dies half-way, because the next run finishes a change that was committed.
#ifndef VTPAPERTOOL_STORE_TRANSACTION_H_
#define VTPAPERTOOL_STORE_TRANSACTION_H_

#include <string>
#include <vector>

#include "store/rewrite.h"

// The files that one change may touch, all in one directory, which also holds the record
// of a change while it is installed.
struct FileSet {
  std::string directory;
  std::vector<std::string> files;  // in the order a change installs them
};

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

// The record that says which prepared files a change installs, while it installs them.
std::string commit_record_path(const FileSet& set);

// Writes and syncs every change's "<path>.$$$" and the record of their names, without
// touching a data file, so that nothing that can fail is left for commit_change. Only the
// holder of the directory's lock may call it. On failure no temporary file is left.
Fault prepare_change(const FileSet& set, const std::vector<FileChange>& changes);

// Removes what prepare_change wrote; no data file changes.
void discard_change(const FileSet& set, const std::vector<FileChange>& changes);

// Commits a prepared change by giving its record the name "vtpapertoollpr.commit", then
// renames each temporary file over its data file and removes the record. On kNotPrepared
// (the record could not be named) the temporary files are removed; on kNotPrepared and
// kNotInstalled fault tells the failure.
ChangeResult commit_change(const FileSet& set, const std::vector<FileChange>& changes,
                           Fault& fault);

// Run first under the lock. Refuses, touching nothing, while an entry that bears the
// name of the record or of a temporary file is not a regular file. With a record:
// renames each listed temporary file that is still there over its data file and removes
// the record. With a record that this program cannot have written (too long, without its
// last line feed, naming other files): removes it. Then removes every temporary file.
// Fails when an entry is in the way or a call failed; a record that could not be read
// whole, or whose change could not be finished, then stays with every temporary file,
// for the next run.
Fault recover_data_files(const FileSet& set);

// Makes SIGINT, SIGTERM and SIGHUP remove the set's temporary files, unless a record names
// them for the next run, before they end the program as they would have. Only the holder
// of the lock may call it: before, the files could be another run's.
void remove_temporaries_on_signals(const FileSet& set);

#endif  // VTPAPERTOOL_STORE_TRANSACTION_H_
