// Writes a data file's new contents beside it, line rule by line rule, for a change that
// puts them in place later.
#ifndef VTPAPERTOOL_STORE_REWRITE_H_
#define VTPAPERTOOL_STORE_REWRITE_H_

#include <sys/stat.h>

#include <string>
#include <vector>

enum class RuleKind { kCopy, kDropMatching, kReplaceMatching, kInsertAfterMatching };

// What happens to each line, decided by whether match_text occurs in the line before its
// first zero byte. output is the whole line (line feed included) that replaces or
// follows a matching line.
struct LineRule {
  RuleKind kind = RuleKind::kCopy;
  std::string match_text;
  std::string output;
};

// The rule that drops every line holding text.
inline LineRule drop_matching(const std::string& text) {
  return {RuleKind::kDropMatching, text, ""};
}

// Reads the data file at path and writes "<path>.$$$" with the rules applied to every
// line (the first rule whose text a line holds decides it; a line none holds is copied)
// and the trailer, if not empty, after the last line. A line the tool adds always starts
// on a line of its own. The temporary file is created afresh (never through a link),
// given the data file's owner and group when run as root and mode 0666, synced and
// closed. The data file is not touched. Returns 0, or -1 with errno describing the first
// failure; no temporary file is then left.
int prepare_data_file(const std::string& path, const std::vector<LineRule>& rules,
                      const std::string& trailer);

// Creates path afresh for writing, removing whatever had the name, never through a link.
// Returns the descriptor, or -1 with errno set.
int create_temporary(const std::string& path);

// Opens a data file for reading without blocking on FIFOs or devices. A symbolic link is
// followed only when it, every link it leads through, and each directory holding one of
// them belong to root or to the user running the program. Returns the
// descriptor, with the file's status in *info when given, or -1 with errno set: ELOOP for
// anyone else's link, EISDIR or EINVAL for what is not a regular file.
int open_data_file(const std::string& path, struct stat* info = nullptr);

#endif  // VTPAPERTOOL_STORE_REWRITE_H_
