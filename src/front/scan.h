// Turns the option pairs of a command line into a FormatRequest and a command.
#ifndef VTPAPERTOOL_FRONT_SCAN_H_
#define VTPAPERTOOL_FRONT_SCAN_H_

#include <string>
#include <vector>

#include "formats/request.h"

enum class Command { kUsage, kAdd, kDelete, kList, kCheck, kRepair };

// Scans words[1..] (words[0] is the invocation name) into request, whose model must
// already be identified. Returns kUsage for any malformed command line, with the request
// holding whatever was stored up to the rejection and refusal saying which word was
// wrong and why.
Command scan_command_line(const std::vector<std::string>& words, FormatRequest& request,
                          std::string& refusal);

#endif  // VTPAPERTOOL_FRONT_SCAN_H_
