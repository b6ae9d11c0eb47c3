// Writes a data file's new contents beside it, line rule by line rule, for a change that
// puts them in place later.
#ifndef VTPAPERTOOL_STORE_REWRITE_H_
#define VTPAPERTOOL_STORE_REWRITE_H_

#include <string>
#include <vector>

#include "store/fault.h"

enum class RuleKind { kDropMatching, kReplaceMatching, kInsertAfterMatching };

// What happens to each line, decided by whether match_text occurs in the line before its
// first zero byte. output is the whole line (line feed included) that replaces or
// follows a matching line.
struct LineRule {
  RuleKind kind = RuleKind::kDropMatching;
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
// closed. The data file is not touched. On failure no temporary file is left.
Fault prepare_data_file(const std::string& path, const std::vector<LineRule>& rules,
                        const std::string& trailer);

// The file a data file's new contents are written to before they take its place.
std::string temporary_path(const std::string& data_file_path);

// The last part of a path: the name of the file in its directory.
std::string file_name(const std::string& path);

#endif  // VTPAPERTOOL_STORE_REWRITE_H_
