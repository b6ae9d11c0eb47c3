// Changes a data file by streaming it through a temporary file that then takes its place.
#ifndef VTPAPERTOOL_STORE_REWRITE_H_
#define VTPAPERTOOL_STORE_REWRITE_H_

#include <string>

enum class RuleKind { kCopy, kDropMatching, kReplaceMatching, kInsertAfterMatching };

// What happens to each line, decided by whether match_text occurs in the line before its
// first zero byte. output is the whole line (line feed included) that replaces or
// follows a matching line.
struct LineRule {
  RuleKind kind = RuleKind::kCopy;
  std::string match_text;
  std::string output;
};

// Opens the data file at path, which must be a regular file (or a link to one), and
// writes "<path>.$$$" with the rule applied to every line and the trailer, if not
// empty, after the last line. A line the tool adds always starts on a line of its own.
// The temporary file is synced, given mode 0666 and renamed over the data file, so the
// data file always holds either its old or its new contents in full.
// Returns 0 when the new contents are in place. Returns -1 with errno describing the
// first failure otherwise; the data file is then untouched and no temporary file is left.
int rewrite_data_file(const std::string& path, const LineRule& rule, const std::string& trailer);

// Opens a data file for reading without blocking on FIFOs or devices. Returns the
// descriptor, or -1 with errno set, also when the file is not a regular file.
int open_data_file(const std::string& path);

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary file of a rewrite in progress
// before they end the program as they would have.
void remove_temporary_on_signals();

#endif  // VTPAPERTOOL_STORE_REWRITE_H_
