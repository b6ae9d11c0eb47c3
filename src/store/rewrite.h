// Writes a data file's new contents beside it, line rule by line rule, for a change that
// puts them in place later.
#ifndef VTPAPERTOOL_STORE_REWRITE_H_
#define VTPAPERTOOL_STORE_REWRITE_H_

#include <sys/stat.h>

#include <string>
#include <vector>

#include "store/fault.h"

enum class RuleKind {
  kDropMatching,
  kReplaceMatching,
  kInsertAfterMatching,
  kReplaceText,
  kReplaceLine
};

// What happens to each line, decided by whether match_text occurs in the line before its
// first zero byte; for kReplaceLine, whether it is all of that part but its line end.
// output is the whole line (line feed included) that replaces or follows a matching
// line, or, for kReplaceText, what takes the place of match_text's first occurrence in
// it, every other byte of the line kept. When unmatched is not
// empty, a file in which no line is decided by the rule fails with it as the reason.
struct LineRule {
  RuleKind kind = RuleKind::kDropMatching;
  std::string match_text;
  std::string output;
  std::string unmatched = "";
};

inline bool operator==(const LineRule& a, const LineRule& b) {
  return a.kind == b.kind && a.match_text == b.match_text && a.output == b.output &&
         a.unmatched == b.unmatched;
}

// What a data file was when it was read. Another program that writes to it, or puts
// another file in its place, changes at least one of these.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  timespec changed{};
};

FileIdentity identity_of(const struct stat& info);
bool same_identity(const FileIdentity& a, const FileIdentity& b);

// The rule that drops every line holding text.
inline LineRule drop_matching(const std::string& text) {
  return {RuleKind::kDropMatching, text, ""};
}

// Reads the data file at path and writes "<path>.$$$" (or destination, when given) with the
// rules applied to every line (the first rule whose text a line holds decides it; a line
// none holds is copied) and the trailer, if not empty, after the last line. A line the
// tool adds always starts on a line of its own, and ends in CR LF where the line before it
// (or the one it replaces) does. The copy is created afresh (never through a link), given
// the data file's owner and group when run as root and its permission bits, synced and
// closed; where the data file belongs to another user, only root may make one. The data
// file is not touched. On failure no copy is left. With read, tells what
// the data file was when it was opened.
Fault prepare_data_file(const std::string& path, const std::vector<LineRule>& rules,
                        const std::string& trailer, FileIdentity* read = nullptr,
                        const std::string& destination = "");

// The file a data file's new contents are written to before they take its place.
std::string temporary_path(const std::string& data_file_path);

// A failure about a file the program makes for its own use (a copy, the record) as a user
// can act on it: about what it stands for, saying what was being done, or, where it could
// not be made there at all, which directory needs write permission.
Fault about_own_file(Fault fault, const std::string& stands_for, const std::string& doing);

// The last part of a path: the name of the file in its directory.
std::string file_name(const std::string& path);

#endif  // VTPAPERTOOL_STORE_REWRITE_H_
