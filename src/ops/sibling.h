// The command lines that ask the print system's sibling tool to add or delete a format.
#ifndef VTPAPERTOOL_OPS_SIBLING_H_
#define VTPAPERTOOL_OPS_SIBLING_H_

#include <string>

#include "front/request.h"

// The value as one shell word: plain words unchanged, anything else single-quoted, so
// that the shell takes every byte literally.
std::string shell_word(const std::string& value);

// The label name as one shell word: inside double quotes where that is literal, as the
// sibling tool has always received it, otherwise single-quoted.
std::string shell_label_word(const std::string& value);

// "<tool>   -P <printer> -n \"<name>\" -w <width> -h <length> -specid <key> -show 1"
std::string add_command_line(const FormatRequest& request, const std::string& key);

// "<tool>   -P <printer> -d \"<name>\" -show 1"
std::string delete_command_line(const FormatRequest& request);

// Runs command_line through the shell and waits for it. Standard output is flushed
// first, so that both programs' lines appear in the order they were written. Returns
// true only when the command ran and exited with status 0.
bool run_sibling_tool(const std::string& command_line);

// Why the last run_sibling_tool returned false: "exited with status N", "killed by
// signal N", or the system's message when the shell could not be started.
std::string sibling_failure();

#endif  // VTPAPERTOOL_OPS_SIBLING_H_
