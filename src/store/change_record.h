// A change's steps, and the text of the record that names them, so that a run that finds
// the record can tell which steps took effect and what each of them changes.
#ifndef VTPAPERTOOL_STORE_CHANGE_RECORD_H_
#define VTPAPERTOOL_STORE_CHANGE_RECORD_H_

#include <string>
#include <vector>

#include "store/rewrite.h"

// The files that one change may touch, all in one directory, which also holds the record
// of a change while it is made.
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

inline bool operator==(const FileChange& a, const FileChange& b) {
  return a.path == b.path && a.rules == b.rules && a.trailer == b.trailer;
}

// What the data files gain and lose once action has succeeded. The store never performs
// the action (a program's words); it names it in the record, as the caller gave it. A step
// without one takes effect with the change.
struct ChangeStep {
  std::vector<std::string> action;
  std::vector<FileChange> files;
};

// Whether a rule or a trailer changes the file.
bool changes_file(const FileChange& file);

// Whether the step changes any data file.
bool changes_files(const ChangeStep& step);

// The files of files that a rule or a trailer changes, in their order.
std::vector<FileChange> changed_files(std::vector<FileChange> files);

// The changes of the steps for which take is true, one per file of set, in its install
// order, with the rules of each step in step order. A later step's line inserted after the
// same text lands above an earlier step's, as if the steps were applied one after the
// other; any other rule of a later step on the same text replaces the earlier step's; and
// trailers follow one another.
std::vector<FileChange> merged_changes(const FileSet& set, const std::vector<ChangeStep>& steps,
                                       const std::vector<bool>& take);

// What a change read each data file as, when it made the file's copy.
struct ReadAs {
  std::string path;
  FileIdentity identity;
};

// What a record holds: its steps, which of them are marked as having taken effect, and
// what each copy was made from. A record of an earlier version of the program lists only
// the files it installs.
struct ChangeRecord {
  std::vector<ChangeStep> steps;
  std::vector<bool> marked;
  std::vector<ReadAs> read;
  std::vector<std::string> listed;
};

// One line per step, data file and rule, every text escaped so that it keeps to its line,
// one line per copy saying what it was made from, then a mark line for each step in marked
// that changes files.
std::string record_text(const ChangeRecord& record);

// The line appended to a record once step has taken effect.
std::string mark_line(size_t step);

// Reads a record's text. Fails, saying which line and why, when this program cannot have
// written it: a line it does not know, a file that set does not hold, a mark of no step. A
// last line without its line feed is a mark cut short, and ignored, or the record is not
// one of ours.
Fault parse_record(const std::string& text, const FileSet& set, ChangeRecord& record);

#endif  // VTPAPERTOOL_STORE_CHANGE_RECORD_H_
