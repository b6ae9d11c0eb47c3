// Changes several of a model's data files as one: all of them or none, even when the
// program dies half-way, because the next run finishes a change that was committed. A
// change is a list of steps, each of which takes effect only once something outside the
// store (an action the caller performs) has succeeded; the record of the change says
// which did, so that the files end up holding exactly those steps.
#ifndef VTPAPERTOOL_STORE_TRANSACTION_H_
#define VTPAPERTOOL_STORE_TRANSACTION_H_

#include <string>
#include <vector>

#include "store/change_record.h"

// A change in the making: its steps and which took effect, and the store's own account of
// the copies and the record it wrote.
struct Change {
  FileSet set;
  std::vector<ChangeStep> steps;
  std::vector<bool> done;            // the step took effect: its action succeeded, or it has none
  std::vector<bool> recorded;        // the record on disk says that it did
  std::vector<FileChange> prepared;  // what the temporary files hold
  std::vector<FileIdentity> read;    // what each prepared copy's data file was
  bool record_current = true;        // the record on disk names the copies as they are
  bool record_stays = false;         // after a failed commit: the next run finishes the change
};

// The change of steps over set, with only the steps without an action done.
Change plan_change(const FileSet& set, std::vector<ChangeStep> steps);

// The record that says which steps a change installs, once it is committed.
std::string commit_record_path(const FileSet& set);

// Writes and syncs every data file's "<path>.$$$" as if every step took effect, then the
// record naming the steps and what each copy was made from, without touching a data file.
// Only the holder of the directory's lock may call it. On failure nothing is left.
Fault prepare_change(Change& change);

// Records durably that step's action succeeded, before the caller starts the next one: a
// synced mark, or, when that cannot be written, the whole record written again beside it
// and put in its place. Fails only when neither could be: the step is then done but not
// recorded, and commit_change leaves it out.
Fault record_step_done(Change& change, size_t step);

// Commits the steps that are done and recorded, and only those: the prepared copies when
// every step is, otherwise copies made again from the data files. A data file that another
// program wrote since its copy was made is copied again, so that what it wrote is kept.
// The commit point is the record taking the name "vtpapertoollpr.commit"; then each copy
// is renamed over its data file and the record removed. When no such step changes a file,
// removes what prepare_change wrote. On failure sets record_stays when the record must stay
// for the next run: once the commit point was reached, or before it when an action had
// succeeded; otherwise nothing is left and nothing changed.
Fault commit_change(Change& change);

// Run first under the lock. Refuses, touching nothing, while an entry that bears the
// name of the record or of a temporary file is not a regular file. A committed record is
// finished: each of its done steps' copies still there is renamed over its data file, made
// afresh first with the recorded rules when the data file changed since the copy was made.
// An uncommitted record whose actions succeeded in part or whole is committed with just
// those steps, from copies made afresh. A record this program cannot have written is
// removed, and notes gets why; so is one in which no action succeeded, and every temporary
// file. A failure keeps the record, for the next run.
Fault recover_data_files(const FileSet& set, std::vector<Fault>& notes);

// Makes SIGINT, SIGTERM and SIGHUP remove the set's temporary files before they end the
// program as they would have, except a record that a next run must finish. Only the
// holder of the lock may call it: before, the files could be another run's.
void remove_temporaries_on_signals(const FileSet& set);

// Names the program in the line the handler writes to standard error: that the change is
// recorded for the next run to finish, or that nothing was changed. Called before the
// handler is set up.
void tell_signals_as(const std::string& program);

// Gives those signals back the dispositions they had. Called before the lock is let go:
// after, the files the handler would remove could be another run's.
void stop_removing_temporaries_on_signals();

#endif  // VTPAPERTOOL_STORE_TRANSACTION_H_
