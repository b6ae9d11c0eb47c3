// The program's entry: identifies the model, scans the command line and dispatches.
#ifndef VTPAPERTOOL_FRONT_ENTRY_H_
#define VTPAPERTOOL_FRONT_ENTRY_H_

#include <string>
#include <vector>

// Runs one command; words[0] is the invocation name. Prints every message to standard
// output and returns the exit status: 0, or 255 when a data file or the sibling tool
// failed.
int run_tool(const std::vector<std::string>& words);

#endif  // VTPAPERTOOL_FRONT_ENTRY_H_
