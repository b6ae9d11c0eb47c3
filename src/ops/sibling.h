// The words that ask the print system's sibling tool to add or delete a format, and how
// the tool is run.
#ifndef VTPAPERTOOL_OPS_SIBLING_H_
#define VTPAPERTOOL_OPS_SIBLING_H_

#include <csignal>
#include <string>
#include <vector>

#include "formats/request.h"
#include "store/fault.h"

// <tool> -P <printer> -n <name> -w <width> -h <length> -specid <key> -show 1
std::vector<std::string> add_command(const FormatRequest& request, const std::string& key);

// <tool> -P <printer> -d <name> -show 1
std::vector<std::string> delete_command(const FormatRequest& request);

// The signal mask from before hold_stopping_signals(), which the sibling tool starts with.
struct HeldSignals {
  sigset_t before{};
};

// SIGTERM and SIGHUP wait, blocked, from before the sibling tool is asked until what it
// did is on record, and SIGINT and SIGQUIT, ignored while it runs, from its end: stopped
// in between, the program would leave the print system changed and nothing to tell the
// next run so.
HeldSignals hold_stopping_signals();
void release_stopping_signals(const HeldSignals& held);

// Starts the program words[0] with words as its arguments, without a shell, and waits for
// it; while it runs, SIGINT and SIGQUIT reach only it, as with system(3). Standard output
// is flushed first, so that both programs' lines appear in the order they were written.
// Fails, naming the program, unless it ran and exited with status 0: "exited with status
// N", "killed by signal N", or the system's message when it could not be started.
Fault run_sibling_tool(const std::vector<std::string>& words, const HeldSignals& held);

#endif  // VTPAPERTOOL_OPS_SIBLING_H_
