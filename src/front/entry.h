// The program's entry: identifies the model, scans the command line and dispatches.
#ifndef VTPAPERTOOL_FRONT_ENTRY_H_
#define VTPAPERTOOL_FRONT_ENTRY_H_

#include <string>
#include <vector>

// Runs one command; words[0] is the invocation name. Prints what the command finds or
// changes on standard output, and one line on standard error for each failure or refusal;
// returns the exit status: 0; 1 when a check found problems or a repair left some; 2 for a
// refused command line; 255 when a data file, the lock or the sibling tool failed.
int run_tool(const std::vector<std::string>& words);

#endif  // VTPAPERTOOL_FRONT_ENTRY_H_
