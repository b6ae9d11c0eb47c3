// The command lines that ask the print system's sibling tool to add or delete a format.
#ifndef VTPAPERTOOL_OPS_SIBLING_H_
#define VTPAPERTOOL_OPS_SIBLING_H_

#include <string>

#include "formats/request.h"
#include "store/fault.h"

// "<tool>   -P <printer> -n \"<name>\" -w <width> -h <length> -specid <key> -show 1"
std::string add_command_line(const FormatRequest& request, const std::string& key);

// "<tool>   -P <printer> -d \"<name>\" -show 1"
std::string delete_command_line(const FormatRequest& request);

// Runs command_line through the shell and waits for it. Standard output is flushed
// first, so that both programs' lines appear in the order they were written. Returns no
// fault only when the command ran and exited with status 0; otherwise the fault is about
// the model's sibling tool and says why: "exited with status N", "killed by signal N", or
// the system's message when the shell could not be started.
Fault run_sibling_tool(const FormatRequest& request, const std::string& command_line);

#endif  // VTPAPERTOOL_OPS_SIBLING_H_
